// Internal pieces of the registry: the in-memory key tree, the REGEDIT4
// reader and writer, and the hive files with their cache and locking.
#pragma once

#include "registry/registry.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::detail {

// ASCII case folding, the rule for key and value names.
std::string foldName(std::string_view name);
bool sameName(std::string_view a, std::string_view b);

struct Value {
    std::string name;  // empty: the default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::string name;
    std::map<std::string, std::unique_ptr<Key>> children;  // by folded name
    std::vector<Value> values;                             // in the order first stored

    Key* child(std::string_view childName) const;
    Key& ensureChild(std::string_view childName, bool* created = nullptr);
    bool removeChild(std::string_view childName);
    const Value* value(std::string_view valueName) const;
    Value* value(std::string_view valueName);
    // Stores a value; false when it already held exactly these bytes.
    bool setValue(std::string_view valueName, DWORD type, std::vector<BYTE> data);
    bool removeValue(std::string_view valueName);
};

using Path = std::vector<std::string>;

// Deep copy.
void copyKey(const Key& from, Key& to);

const Key* findKey(const Key& root, const Path& path, size_t count);
inline const Key* findKey(const Key& root, const Path& path) { return findKey(root, path, path.size()); }
Key* findKey(Key& root, const Path& path);

// Splits "A\B\C" into its parts. A single trailing '\' is allowed; an empty
// part, a leading '\' or a control character is refused.
bool splitPath(std::string_view text, Path& out);

// Value and key names must fit on one REGEDIT4 line.
bool validValueName(std::string_view name);

// ---------------------------------------------------------------------------
// The two stored hives. HKEY_CLASSES_ROOT lives in the local machine hive.
enum class HiveId { LocalMachine = 0, CurrentUser = 1 };

// Where a root name leads: the hive and the path prefix inside it.
struct RootPlace {
    HiveId hive = HiveId::LocalMachine;
    Path prefix;
    std::string fullName;  // "HKEY_CLASSES_ROOT" ...
};
bool rootPlace(std::string_view rootName, RootPlace& out);
const char* hiveRootName(HiveId hive);
const char* hiveFileName(HiveId hive);

// ---------------------------------------------------------------------------
// REGEDIT4 text.

struct ImportOp {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue } kind = CreateKey;
    HiveId hive = HiveId::LocalMachine;
    Path path;  // inside the hive
    Value value;
};

// Parses REGEDIT4 text. False with a message naming the line on error.
bool parseRegedit(std::string_view text, std::vector<ImportOp>& ops, std::string& error);

// Appends the key and everything below it; `fullName` is the key's name as
// written between the brackets.
void writeRegeditKey(const Key& key, const std::string& fullName, std::string& out);
inline constexpr std::string_view kRegeditHeader = "REGEDIT4\n\n";

// Applies parsed operations of one hive to a tree; false when nothing
// changed.
bool applyOps(Key& root, const std::vector<ImportOp>& ops, HiveId hive);

// ---------------------------------------------------------------------------
// Hive files.

// The parsed current state of a hive: the tree (never null on success) or
// ERROR_BADDB with a message.
struct HiveView {
    LONG status = ERROR_SUCCESS;
    std::shared_ptr<const Key> root;
    std::string message;
};
HiveView readHive(HiveId hive);

// Runs `change` on a fresh copy of the hive under the hive's lock; when it
// returns ERROR_SUCCESS and sets `changed`, writes the new hive in place
// atomically. Returns the change's status or the storage failure.
using HiveChange = std::function<LONG(Key& root, bool& changed)>;
LONG modifyHive(HiveId hive, const HiveChange& change, std::string& message);

}  // namespace platform::detail
