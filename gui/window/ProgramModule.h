#pragma once
// A module of the program's own, a file beside it that it loads when first
// needed (quillan-main.so, quillan-browser.so). It is loaded at most once
// and stays loaded for the rest of the run, and it is used only when its
// version entry point answers the version the program was built with.

#include <QString>

#include <initializer_list>
#include <utility>

class ProgramModule {
public:
    // The module `fileName` in the program's folder, whose entry point
    // `versionSymbol` (int (*)()) must return `version`.
    ProgramModule(QString fileName, const char *versionSymbol, int version);

    // The first call loads the module, checks its version and looks up each
    // named entry point into its pointer; later calls only answer again.
    // True when every entry point is there; otherwise they are all nullptr
    // and error() says why.
    bool load(std::initializer_list<std::pair<const char *, QFunctionPointer *>> entries);

    // Whether load has been called.
    bool tried() const { return tried_; }
    // Why the module could not be used (empty when it could, or untried).
    QString error() const { return error_; }
    QString path() const;

private:
    QString fileName_;
    const char *versionSymbol_;
    int version_;
    bool tried_ = false;
    bool loaded_ = false;
    QString error_;
};
