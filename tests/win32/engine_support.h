// Helpers of the engine tests: raw registry access that bypasses the settings
// store (so a test sees what was really stored, not what the store reads back),
// scratch directories and whole-file reads.
#pragma once
#include <windows.h>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tw_test {

constexpr char kSettingsKey[] = "Software\\Orrinwood Software\\Tapwise";
constexpr uint32_t kSentinel = 0xdeadbeef;
constexpr BYTE kFillByte = 0xAB;

// RegDeleteKey refuses keys with sub-keys; tests leave whole trees behind.
inline void DeleteKeyTree(HKEY root, const std::string& subKey)
{
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS) {
        char child[256];
        for (;;) {
            DWORD length = sizeof child;
            if (RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            DeleteKeyTree(key, child);
        }
        RegCloseKey(key);
    }
    RegDeleteKeyA(root, subKey.c_str());
}

inline bool KeyExists(HKEY root, const std::string& subKey)
{
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

struct Stored {
    bool exists = false;
    DWORD type = 0xdeadbeef;
    std::vector<BYTE> bytes;

    std::string Text() const { return std::string(bytes.begin(), bytes.end()); }
    bool IsNumber() const { return exists && type == REG_DWORD && bytes.size() == 4; }
    int32_t Number() const
    {
        int32_t v = 0;
        if (bytes.size() == 4)
            memcpy(&v, bytes.data(), 4);
        return v;
    }
};

inline Stored ReadStored(HKEY root, const std::string& subKey, const char* name)
{
    Stored s;
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return s;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        s.exists = true;
        s.type = type;
        s.bytes.resize(size);
        if (size && RegQueryValueExA(key, name, nullptr, &type, s.bytes.data(), &size) != ERROR_SUCCESS)
            s.bytes.clear();
        s.bytes.resize(size);
    }
    RegCloseKey(key);
    return s;
}

inline Stored ReadSetting(const char* name) { return ReadStored(HKEY_LOCAL_MACHINE, kSettingsKey, name); }

// Stores exactly the given bytes, whatever type and size the program would use.
inline bool PutRaw(HKEY root, const std::string& subKey, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

inline bool PutSetting(const char* name, DWORD type, const void* data, DWORD size)
{
    return PutRaw(HKEY_LOCAL_MACHINE, kSettingsKey, name, type, data, size);
}

inline bool PutSettingNumber(const char* name, int32_t value)
{
    return PutSetting(name, REG_DWORD, &value, sizeof value);
}

// Names of the values directly under a key, in the registry's order.
inline std::vector<std::string> ValueNames(HKEY root, const std::string& subKey)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        char name[1024];
        DWORD length = sizeof name;
        if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

inline std::string Hex(const std::vector<BYTE>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (BYTE b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
        out += ' ';
    }
    return out;
}

// A fresh empty directory under the temporary directory, removed with its
// plain files by the destructor.
class ScratchDir {
public:
    explicit ScratchDir(const char* tag)
    {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        std::string dir = base;
        if (!dir.empty() && dir.back() == '\\')
            dir.pop_back();
        char unique[64];
        wsprintfA(unique, "\\tw-%s-%lu-%lu", tag, GetCurrentProcessId(), GetTickCount());
        path_ = dir + unique;
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchDir() { RemoveTree(path_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const char* name) const { return path_ + "\\" + name; }

    static void RemoveTree(const std::string& dir)
    {
        WIN32_FIND_DATAA fd;
        HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &fd);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::string name = fd.cFileName;
                if (name == "." || name == "..")
                    continue;
                std::string full = dir + "\\" + name;
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(full);
                else
                    DeleteFileA(full.c_str());
            } while (FindNextFileA(find, &fd));
            FindClose(find);
        }
        RemoveDirectoryA(dir.c_str());
    }

private:
    std::string path_;
};

inline bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whole file as bytes; "<missing>" marks a file that could not be opened.
inline std::string ReadWholeFile(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string out;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got)
        out.append(chunk, got);
    CloseHandle(h);
    return out;
}

inline bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

// Makes CR, LF and tab visible in failure messages.
inline std::string Visible(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

}  // namespace tw_test

// Date arithmetic through the platform's file-time scale.
inline void AddSeconds(SYSTEMTIME* t, int32_t seconds)
{
    FILETIME ft;
    SystemTimeToFileTime(t, &ft);
    ULARGE_INTEGER v;
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    v.QuadPart += static_cast<int64_t>(seconds) * 10000000LL;
    ft.dwLowDateTime = v.LowPart;
    ft.dwHighDateTime = v.HighPart;
    FileTimeToSystemTime(&ft, t);
}
