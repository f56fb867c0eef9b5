#pragma once
// The program's own modules, the files beside it that it loads when first
// needed (quillan-main.so, quillan-browser.so): each is loaded once and
// stays loaded for the rest of the run, and it is used only when its
// version entry point answers the version the program was built with.

#include <QString>

#include <initializer_list>
#include <utility>

namespace ProgramModule {

// The module's file `fileName` in the program's folder.
QString path(const QString &fileName);

// Loads the module `fileName` from the program's folder, checks that its
// entry point `versionSymbol` (int (*)()) returns `version`, then looks up
// each named entry point into its pointer. True when all went well;
// otherwise every pointer is nullptr and `error` says why. Call once per
// module: the module stays loaded whatever happens to the call's result.
bool load(const QString &fileName, const char *versionSymbol, int version,
          std::initializer_list<std::pair<const char *, QFunctionPointer *>> entries, QString *error);

} // namespace ProgramModule
