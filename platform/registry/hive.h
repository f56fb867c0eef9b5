// Internal pieces of the registry: the in-memory key tree, the REGEDIT4
// reader and writer, and the hive files with their cache and locking.
#pragma once

#include "platform/registry/registry.h"

#include <filesystem>
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
    std::string name; // empty: the default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// The limits of the registry we stand in for: keys nest at most 512 levels
// below their hive's root, and a key's name has at most 255 characters.
inline constexpr size_t kMaxKeyDepth = 512;
inline constexpr size_t kMaxKeyNameLength = 255;

struct Key {
    std::string name;
    std::map<std::string, std::unique_ptr<Key>> children; // by folded name
    std::vector<Value> values;                            // in the order first stored

    Key() = default;
    Key(Key &&) = default;
    Key &operator=(Key &&) = default;
    // Takes the tree apart without recursion, however deep it is.
    ~Key();

    Key *child(std::string_view childName) const;
    Key &ensureChild(std::string_view childName, bool *created = nullptr);
    bool removeChild(std::string_view childName);
    const Value *value(std::string_view valueName) const;
    Value *value(std::string_view valueName);
    // Stores a value; false when it already held exactly these bytes.
    bool setValue(std::string_view valueName, DWORD type, std::vector<BYTE> data);
    bool removeValue(std::string_view valueName);
};

using Path = std::vector<std::string>;

// Deep copy, without recursion.
void copyKey(const Key &from, Key &to);

const Key *findKey(const Key &root, const Path &path, size_t count);
inline const Key *findKey(const Key &root, const Path &path)
{
    return findKey(root, path, path.size());
}
Key *findKey(Key &root, const Path &path);

// Splits "A\B\C" into its parts. A single trailing '\' is allowed; an empty
// part, a leading '\', a control character, a part longer than
// kMaxKeyNameLength or more than kMaxKeyDepth parts is refused, with the
// reason in *problem when given.
bool splitPath(std::string_view text, Path &out, std::string *problem = nullptr);

// The refusal of a key path deeper than kMaxKeyDepth inside its hive.
std::string tooDeepMessage();

// Value and key names must fit on one REGEDIT4 line.
bool validValueName(std::string_view name);

// ---------------------------------------------------------------------------
// The two stored hives. HKEY_CLASSES_ROOT lives in the local machine hive.
enum class HiveId { LocalMachine = 0, CurrentUser = 1 };

// Where a root name leads: the hive and the path prefix inside it.
struct RootPlace {
    HiveId hive = HiveId::LocalMachine;
    Path prefix;
    std::string fullName; // "HKEY_CLASSES_ROOT" ...
};
bool rootPlace(std::string_view rootName, RootPlace &out);
const char *hiveRootName(HiveId hive);
const char *hiveFileName(HiveId hive);

// ---------------------------------------------------------------------------
// REGEDIT4 text.

struct ImportOp {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue } kind = CreateKey;
    HiveId hive = HiveId::LocalMachine;
    Path path; // inside the hive
    Value value;
};

// Parses REGEDIT4 text. False with a message naming the line on error.
bool parseRegedit(std::string_view text, std::vector<ImportOp> &ops, std::string &error);

// Appends the key and everything below it (without recursion); `fullName`
// is the key's name as written between the brackets.
void writeRegeditKey(const Key &key, const std::string &fullName, std::string &out);
inline constexpr std::string_view kRegeditHeader = "REGEDIT4\n\n";

// Applies parsed operations of one hive to a tree; false when nothing
// changed.
bool applyOps(Key &root, const std::vector<ImportOp> &ops, HiveId hive);

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

// The files of a hive: where it lives as resolved now from the environment.
std::filesystem::path hiveFolder(HiveId hive);
std::string hivePath(HiveId hive);

// The lock of a hive's writers: a file beside the hive named after it with
// kLockSuffix, opened for writing and created with mode 0600, so that only
// those who may write the hive can open it and hold it. Readers never take
// it: they read whole hive files, which writers rename into place, and so
// can never hold a writer up. Writers remove the lock file of older
// versions (kOldLockSuffix), which anyone who could read it could hold.
inline constexpr std::string_view kLockSuffix = ".wlock";
inline constexpr std::string_view kOldLockSuffix = ".lock";

// Runs `change` on a fresh copy of the hive under the hive's lock; when it
// returns ERROR_SUCCESS and sets `changed`, writes the new hive in place
// atomically. Returns the change's status or the storage failure. The lock
// is waited for at most kLockWaitSeconds (then ERROR_BUSY). A writer holding
// the lock first removes fresh files that writers which died left behind.
using HiveChange = std::function<LONG(Key &root, bool &changed)>;
LONG modifyHive(HiveId hive, const HiveChange &change, std::string &message);
inline constexpr int kLockWaitSeconds = 5;

// The same for several hives at once: every hive is locked, read and
// changed, and every new hive file written and flushed, before the first
// one is renamed into place; a failure anywhere before that changes none.
struct HiveChangeOf {
    HiveId hive;
    HiveChange change;
};
LONG modifyHives(const std::vector<HiveChangeOf> &changes, std::string &message);

// Checks that the hive could be written now: locks it and writes a fresh
// copy, then removes the copy; the hive itself is not touched.
LONG probeHiveWrite(HiveId hive, std::string &message);

// Whether `file` is (or would become) a file of the registry: a hive, its
// lock or a fresh file of one, by name in a hive's folder or by identity.
bool isRegistryFile(const std::filesystem::path &file);

} // namespace platform::detail
