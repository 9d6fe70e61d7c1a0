#include "Driver.h"

namespace driver {

namespace {

// Room for names longer than Windows allows: Wine creates them.
constexpr DWORD kMaxKeyName = 1024;
constexpr int kMaxTreeDepth = 64;

class Key {
public:
    Key() = default;
    ~Key()
    {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    bool Open(HKEY root, const std::string& subKey, REGSAM access)
    {
        return RegOpenKeyExA(root, subKey.c_str(), 0, access, &key_) == ERROR_SUCCESS;
    }
    bool Create(HKEY root, const std::string& subKey)
    {
        return RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                               nullptr, &key_, nullptr) == ERROR_SUCCESS;
    }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// Deletes subKey below parent and everything under it. Keys are reached
// relative to their parent, so that deep trees need no long paths, and a
// child that stays after its deletion ends the walk instead of looping.
bool DeleteTreeAt(HKEY parent, const std::string& subKey, int depth)
{
    if (depth > kMaxTreeDepth) {
        return false;
    }
    {
        Key key;
        if (!key.Open(parent, subKey, KEY_READ | KEY_WRITE)) {
            return !KeyExists(parent, subKey);
        }
        // Delete children from a fresh enumeration each time: indexes shift.
        std::string previous;
        for (;;) {
            char name[kMaxKeyName];
            DWORD length = kMaxKeyName;
            const LONG status =
                RegEnumKeyExA(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) {
                break;
            }
            const std::string child(name, length);
            if (status != ERROR_SUCCESS || child == previous ||
                !DeleteTreeAt(key.Get(), child, depth + 1)) {
                return false;
            }
            previous = child;
        }
    }
    return RegDeleteKeyA(parent, subKey.c_str()) == ERROR_SUCCESS;
}

} // namespace

bool ReadDword(HKEY root, const std::string& subKey, const std::string& name, DWORD* value,
               REGSAM view)
{
    Key key;
    if (!key.Open(root, subKey, KEY_READ | view)) {
        return false;
    }
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(data)) {
        return false;
    }
    *value = data;
    return true;
}

bool WriteValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                const void* data, DWORD size)
{
    Key key;
    return key.Create(root, subKey) &&
           RegSetValueExA(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
               ERROR_SUCCESS;
}

bool WriteDword(HKEY root, const std::string& subKey, const std::string& name, DWORD value)
{
    return WriteValue(root, subKey, name, REG_DWORD, &value, sizeof(value));
}

bool ReadString(HKEY root, const std::string& subKey, const std::string& name, std::string* value)
{
    Key key;
    if (!key.Open(root, subKey, KEY_READ)) {
        return false;
    }
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    std::vector<char> buffer(size + 1, '\0');
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
        return false;
    }
    *value = std::string(buffer.data());
    return true;
}

bool WriteString(HKEY root, const std::string& subKey, const std::string& name,
                 const std::string& value)
{
    return WriteValue(root, subKey, name, REG_SZ, value.c_str(),
                      static_cast<DWORD>(value.size() + 1));
}

DWORD ValueType(HKEY root, const std::string& subKey, const std::string& name)
{
    Key key;
    DWORD type = REG_NONE;
    if (!key.Open(root, subKey, KEY_READ) ||
        RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, nullptr) !=
            ERROR_SUCCESS) {
        return REG_NONE;
    }
    return type;
}

long ValueSize(HKEY root, const std::string& subKey, const std::string& name)
{
    Key key;
    DWORD size = 0;
    if (!key.Open(root, subKey, KEY_READ) ||
        RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, nullptr, &size) !=
            ERROR_SUCCESS) {
        return -1;
    }
    return static_cast<long>(size);
}

bool DeleteValue(HKEY root, const std::string& subKey, const std::string& name)
{
    Key key;
    if (!key.Open(root, subKey, KEY_SET_VALUE)) {
        return !KeyExists(root, subKey);
    }
    const LONG status = RegDeleteValueA(key.Get(), name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool KeyExists(HKEY root, const std::string& subKey)
{
    Key key;
    return key.Open(root, subKey, KEY_READ);
}

bool DeleteTree(HKEY root, const std::string& subKey)
{
    if (subKey.empty()) {
        return false; // never the whole root
    }
    return DeleteTreeAt(root, subKey, 0);
}

} // namespace driver
