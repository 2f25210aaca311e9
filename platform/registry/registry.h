#pragma once
// The registry store: the stand-in for the Windows registry, one SQLite database file
// shared by every process of the system (default $XDG_DATA_HOME/tolver/registry.db,
// TOLVER_REGISTRY names another file). Keys are case-insensitive and case-preserving;
// values keep their type (REG_SZ, REG_DWORD, REG_BINARY). Every write is a
// transaction of its own unless a RegistryTransaction is open.
//
// TRegistry is the accessor: a root, a current key and the operations that the
// persistence code needs. Key paths use "\" as separator; a path with a leading "\"
// is absolute from the root, any other is relative to the current key.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/exception.h"
#include "platform/registry/hkey.h"

namespace tolver {

// A registry operation that cannot be done (a missing or mistyped value read as an
// integer, a key that cannot be created, a store that cannot be opened).
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

// The value types, with their Windows codes.
enum class RegDataType : std::uint32_t {
    None = 0,    // no such value
    String = 1,  // REG_SZ
    Binary = 3,  // REG_BINARY
    DWord = 4,   // REG_DWORD
};

// The database file the store uses in this process: TOLVER_REGISTRY when set, else
// $XDG_DATA_HOME/tolver/registry.db (by default ~/.local/share/tolver/registry.db).
std::string RegistryPath();

// All writes between construction and Commit() become visible at once or not at all;
// destroying it without Commit() rolls back. Transactions nest (an inner one is a
// savepoint). It holds the store's write lock, so other processes wait for it.
class RegistryTransaction {
public:
    RegistryTransaction();
    ~RegistryTransaction();
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;
    void Commit();

private:
    friend class RegistrySnapshot;
    explicit RegistryTransaction(bool write);
    bool done_ = false;
    int level_ = 0;
};

// A consistent view for reading: every read between construction and destruction
// sees the store as it was at the first of them, never a part of another process's
// save. Inside a transaction or another snapshot it does nothing (the view is fixed
// already). It takes no write lock; a write
// inside it may fail when another process has written since.
class RegistrySnapshot {
public:
    RegistrySnapshot();
    ~RegistrySnapshot();
    RegistrySnapshot(const RegistrySnapshot&) = delete;
    RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;

private:
    std::unique_ptr<RegistryTransaction> tx_;
};

// A value with its type and data, read in one look-up.
struct RegValue {
    RegDataType type = RegDataType::None;  // None: there is no such value
    std::int32_t number = 0;               // REG_DWORD
    std::string text;                      // REG_SZ
    std::vector<std::uint8_t> bytes;       // REG_BINARY
};

class TRegistry {
public:
    explicit TRegistry(HKEY root = HKEY_CURRENT_USER);
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey() const { return root_; }
    void SetRootKey(HKEY root);  // closes the current key
    // The current key's path without a leading "\" ("" at the root).
    const std::string& CurrentPath() const { return path_; }

    // Opens key (absolute or relative) and makes it current; with canCreate, missing
    // keys on the way are created. False when it does not exist (or cannot be made).
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();  // back to the root

    bool KeyExists(const std::string& key) const;  // absolute or relative
    bool HasSubKeys() const;
    // Deletes key with all its subkeys and values; false when there was none.
    bool DeleteKey(const std::string& key);
    std::vector<std::string> GetKeyNames() const;    // of the current key, in a stable order
    std::vector<std::string> GetValueNames() const;  // of the current key, in a stable order

    bool ValueExists(const std::string& name) const;
    bool DeleteValue(const std::string& name);
    RegDataType GetDataType(const std::string& name) const;
    RegValue ReadValue(const std::string& name) const;
    // Size of the value's data in bytes (a REG_SZ counts its UTF-8 bytes plus one),
    // -1 when there is no such value.
    int GetDataSize(const std::string& name) const;

    void WriteString(const std::string& name, const std::string& value);
    // "" when the value is missing; raises when it is of another type.
    std::string ReadString(const std::string& name) const;
    void WriteInteger(const std::string& name, std::int32_t value);
    // Raises when the value is missing or not a REG_DWORD.
    std::int32_t ReadInteger(const std::string& name) const;
    void WriteBinaryData(const std::string& name, const std::vector<std::uint8_t>& data);
    // Raises when the value is missing or not REG_BINARY.
    std::vector<std::uint8_t> ReadBinaryData(const std::string& name) const;
    // An 8-byte REG_BINARY holding the IEEE 754 double, little-endian.
    void WriteFloat(const std::string& name, double value);
    // Raises when the value is missing, not REG_BINARY or not 8 bytes long.
    double ReadFloat(const std::string& name) const;
    // A REG_DWORD 1 or 0.
    void WriteBool(const std::string& name, bool value);
    bool ReadBool(const std::string& name) const;

private:
    std::int64_t CurrentId() const;
    std::int64_t Find(const std::string& key, bool canCreate, std::string* path) const;
    void Put(const std::string& name, RegDataType type, std::int64_t number, const void* data, std::size_t size);

    HKEY root_;
    std::string path_;
    mutable std::int64_t keyId_ = 0;  // the current key's row in the store (0: none)
    mutable std::uint64_t generation_ = 0;  // rows may have vanished since it differs
};

}  // namespace tolver
