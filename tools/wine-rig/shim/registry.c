/* TWRIG.dll: registry virtualization (the rules are in shim.c). Every HKLM
 * key opened through the shim by a process that is virtualized is in the
 * table below with its path, so that keys opened beneath it are known too.
 * The handle the program holds is the machine's key (opened for reading)
 * where it exists, else the person's copy; other calls on it still work. */
#include "shim.h"

#define WRITE_RIGHTS                                                                                                   \
    (KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |         \
     GENERIC_ALL | MAXIMUM_ALLOWED)
#define STORE_ROOT "Software\\Classes\\VirtualStore\\MACHINE\\"

enum { kOther, kRefused, kVirtual }; /* HKLM outside Software; never virtualized; virtualized */

typedef struct {
    HKEY handle;  /* what the program holds */
    HKEY machine; /* HKLM key for reading, or NULL */
    HKEY store;   /* the person's copy, or NULL until the first write */
    REGSAM sam;   /* as the program asked */
    int kind;
    char path[400]; /* below HKLM */
} Key;
static Key keys[128];

void TwRegistryInit(void) {}

static Key* Find(HKEY handle)
{
    for (size_t i = 0; i < sizeof keys / sizeof keys[0]; i++)
        if (keys[i].handle && keys[i].handle == handle)
            return &keys[i];
    return NULL;
}

/* The path below HKLM of hkey\sub; FALSE for a key that is not HKLM's. */
static BOOL MachinePath(HKEY hkey, const char* sub, char* out)
{
    const char* base = NULL;
    if (hkey == HKEY_LOCAL_MACHINE)
        base = "";
    EnterCriticalSection(&twLock);
    Key* key = base ? NULL : Find(hkey);
    if (key)
        lstrcpynA(out, key->path, sizeof key->path);
    LeaveCriticalSection(&twLock);
    if (!base && !key)
        return FALSE;
    if (base)
        out[0] = 0;
    while (sub && *sub == '\\')
        sub++;
    if (sub && *sub) {
        size_t n = lstrlenA(out);
        if (n + lstrlenA(sub) + 2 > sizeof keys[0].path)
            return FALSE;
        if (n)
            out[n++] = '\\';
        lstrcpyA(out + n, sub);
    }
    for (size_t n = lstrlenA(out); n && out[n - 1] == '\\';)
        out[--n] = 0;
    return TRUE;
}

static BOOL Below(const char* path, const char* prefix)
{
    size_t n = lstrlenA(prefix);
    return TwIsPrefix(path, prefix) && (path[n] == 0 || path[n] == '\\');
}

static int Kind(const char* path)
{
    if (!Below(path, "Software"))
        return kOther;
    const char* rest = path[8] ? path + 9 : path + 8;
    if (Below(rest, "Wow6432Node"))
        rest = rest[11] ? rest + 12 : rest + 11;
    if (Below(rest, "Classes") || Below(rest, "Microsoft\\Windows") || Below(rest, "Microsoft\\Windows NT"))
        return kRefused;
    return kVirtual;
}

static void StorePath(const char* path, char* out)
{
    wsprintfA(out, STORE_ROOT "SOFTWARE%s", path + 8);
}

static HKEY OpenStore(const char* path, BOOL create)
{
    char store[512];
    HKEY key = NULL;
    StorePath(path, store);
    LONG r = create ? RegCreateKeyExA(HKEY_CURRENT_USER, store, 0, NULL, 0, KEY_READ | KEY_WRITE, NULL, &key, NULL)
                    : RegOpenKeyExA(HKEY_CURRENT_USER, store, 0, KEY_READ | KEY_WRITE, &key);
    return r == ERROR_SUCCESS ? key : NULL;
}

static LONG Remember(HKEY machine, HKEY store, REGSAM sam, int kind, const char* path, HKEY* out)
{
    EnterCriticalSection(&twLock);
    Key* slot = NULL;
    for (size_t i = 0; !slot && i < sizeof keys / sizeof keys[0]; i++)
        if (!keys[i].handle)
            slot = &keys[i];
    if (slot) {
        slot->handle = machine ? machine : store;
        slot->machine = machine;
        slot->store = store;
        slot->sam = sam;
        slot->kind = kind;
        lstrcpynA(slot->path, path, sizeof slot->path);
    }
    LeaveCriticalSection(&twLock);
    if (!slot) {
        if (machine)
            RegCloseKey(machine);
        if (store)
            RegCloseKey(store);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    *out = slot->handle;
    return ERROR_SUCCESS;
}

/* Opens or creates hkey\sub for a virtualized process; *handled FALSE when
 * the key is not HKLM's and the real call is to be made. */
static LONG OpenVirtual(HKEY hkey, const char* sub, REGSAM sam, BOOL create, HKEY* out, DWORD* disposition,
                        BOOL* handled)
{
    char path[400];
    *handled = twVirtualized && MachinePath(hkey, sub, path);
    if (!*handled)
        return ERROR_SUCCESS;
    const REGSAM view = sam & (KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    HKEY machine = NULL, store = NULL;
    LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | view, &machine);
    int kind = Kind(path);
    if (kind != kVirtual) {
        if ((sam & WRITE_RIGHTS) || (create && r == ERROR_FILE_NOT_FOUND)) {
            if (machine)
                RegCloseKey(machine);
            return ERROR_ACCESS_DENIED;
        }
        if (r != ERROR_SUCCESS)
            return r;
        if (disposition)
            *disposition = REG_OPENED_EXISTING_KEY;
        return Remember(machine, NULL, sam, kind, path, out);
    }
    store = OpenStore(path, FALSE);
    if (disposition)
        *disposition = machine || store ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    if (!machine && !store) {
        if (!create)
            return r;
        store = OpenStore(path, TRUE);
        if (!store)
            return ERROR_ACCESS_DENIED;
    }
    return Remember(machine, store, sam, kind, path, out);
}

LONG WINAPI TwRig_RegOpenKeyExA(HKEY hkey, LPCSTR sub, DWORD options, REGSAM sam, PHKEY out)
{
    BOOL handled;
    LONG r = OpenVirtual(hkey, sub, sam, FALSE, out, NULL, &handled);
    return handled ? r : RegOpenKeyExA(hkey, sub, options, sam, out);
}

LONG WINAPI TwRig_RegCreateKeyExA(HKEY hkey, LPCSTR sub, DWORD reserved, LPSTR cls, DWORD options, REGSAM sam,
                                  LPSECURITY_ATTRIBUTES security, PHKEY out, LPDWORD disposition)
{
    BOOL handled;
    LONG r = OpenVirtual(hkey, sub, sam, TRUE, out, disposition, &handled);
    return handled ? r : RegCreateKeyExA(hkey, sub, reserved, cls, options, sam, security, out, disposition);
}

LONG WINAPI TwRig_RegCloseKey(HKEY hkey)
{
    EnterCriticalSection(&twLock);
    Key *key = Find(hkey), copy;
    if (key) {
        copy = *key;
        key->handle = NULL;
    }
    LeaveCriticalSection(&twLock);
    if (!key)
        return RegCloseKey(hkey);
    if (copy.machine)
        RegCloseKey(copy.machine);
    if (copy.store)
        RegCloseKey(copy.store);
    return ERROR_SUCCESS;
}

/* Whether hkey is a virtual key; *copy is a snapshot of its entry, with the
 * person's copy if another handle has made one since this one was opened. */
static BOOL Virtual(HKEY hkey, Key* copy)
{
    if (!twVirtualized)
        return FALSE;
    EnterCriticalSection(&twLock);
    Key* key = Find(hkey);
    if (key)
        *copy = *key;
    LeaveCriticalSection(&twLock);
    if (!key || copy->kind != kVirtual)
        return FALSE;
    HKEY store = copy->store ? NULL : OpenStore(copy->path, FALSE);
    if (store) {
        EnterCriticalSection(&twLock);
        Key* live = Find(hkey);
        if (live && !live->store)
            live->store = store;
        else
            RegCloseKey(store);
        copy->store = live ? live->store : NULL;
        LeaveCriticalSection(&twLock);
    }
    return TRUE;
}

/* The person's copy of hkey, made at the first write. */
static HKEY StoreForWrite(HKEY hkey, Key* key)
{
    if (key->store)
        return key->store;
    HKEY store = OpenStore(key->path, TRUE);
    if (!store)
        return NULL;
    EnterCriticalSection(&twLock);
    Key* live = Find(hkey);
    if (live && !live->store)
        live->store = store;
    else if (live) {
        RegCloseKey(store);
        store = live->store;
    }
    LeaveCriticalSection(&twLock);
    return store;
}

LONG WINAPI TwRig_RegSetValueExA(HKEY hkey, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    Key key;
    if (!Virtual(hkey, &key))
        return RegSetValueExA(hkey, name, reserved, type, data, size);
    if (!(key.sam & (KEY_SET_VALUE | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED)))
        return ERROR_ACCESS_DENIED;
    HKEY store = StoreForWrite(hkey, &key);
    return store ? RegSetValueExA(store, name, reserved, type, data, size) : ERROR_ACCESS_DENIED;
}

LONG WINAPI TwRig_RegQueryValueExA(HKEY hkey, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    Key key;
    if (!Virtual(hkey, &key))
        return RegQueryValueExA(hkey, name, reserved, type, data, size);
    if (key.store) {
        LONG r = RegQueryValueExA(key.store, name, reserved, type, data, size);
        if (r != ERROR_FILE_NOT_FOUND || !key.machine)
            return r;
    }
    return RegQueryValueExA(key.machine, name, reserved, type, data, size);
}

static BOOL HasValue(HKEY hkey, const char* name)
{
    return hkey && RegQueryValueExA(hkey, name, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
}

LONG WINAPI TwRig_RegDeleteValueA(HKEY hkey, LPCSTR name)
{
    Key key;
    if (!Virtual(hkey, &key))
        return RegDeleteValueA(hkey, name);
    if (!(key.sam & (KEY_SET_VALUE | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED)))
        return ERROR_ACCESS_DENIED;
    if (key.store && RegDeleteValueA(key.store, name) == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    return HasValue(key.machine, name) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
}

LONG WINAPI TwRig_RegDeleteKeyA(HKEY hkey, LPCSTR sub)
{
    char path[400], store[512];
    if (!twVirtualized || !MachinePath(hkey, sub, path))
        return RegDeleteKeyA(hkey, sub);
    HKEY machine = NULL;
    BOOL inMachine = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &machine) == ERROR_SUCCESS;
    if (machine)
        RegCloseKey(machine);
    if (Kind(path) == kVirtual) {
        StorePath(path, store);
        LONG r = RegDeleteKeyA(HKEY_CURRENT_USER, store);
        if (r != ERROR_FILE_NOT_FOUND)
            return r;
    }
    return inMachine ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
}

/* Index of the machine's item that is merged entry `index` (past the person's
 * `own` ones), skipping names the person's copy has too; -1 past the end. */
static LONG MachineIndex(Key* key, DWORD index, DWORD own, BOOL values)
{
    DWORD wanted = index - own, seen = 0;
    for (DWORD i = 0;; i++) {
        char name[512];
        DWORD size = sizeof name;
        LONG r = values ? RegEnumValueA(key->machine, i, name, &size, NULL, NULL, NULL, NULL)
                        : RegEnumKeyExA(key->machine, i, name, &size, NULL, NULL, NULL, NULL);
        if (r == ERROR_NO_MORE_ITEMS)
            return -1;
        if (r != ERROR_SUCCESS && r != ERROR_MORE_DATA)
            continue;
        HKEY twin = NULL;
        BOOL shadowed = values ? HasValue(key->store, name)
                               : key->store && RegOpenKeyExA(key->store, name, 0, KEY_READ, &twin) == ERROR_SUCCESS;
        if (twin)
            RegCloseKey(twin);
        if (!shadowed && seen++ == wanted)
            return (LONG)i;
    }
}

static DWORD Count(HKEY hkey, BOOL values)
{
    DWORD subkeys = 0, count = 0;
    if (hkey && RegQueryInfoKeyA(hkey, NULL, NULL, NULL, &subkeys, NULL, NULL, &count, NULL, NULL, NULL, NULL))
        return 0;
    return values ? count : subkeys;
}

LONG WINAPI TwRig_RegEnumKeyExA(HKEY hkey, DWORD index, LPSTR name, LPDWORD size, LPDWORD reserved, LPSTR cls,
                                LPDWORD clsSize, PFILETIME written)
{
    Key key;
    if (!Virtual(hkey, &key))
        return RegEnumKeyExA(hkey, index, name, size, reserved, cls, clsSize, written);
    DWORD own = key.store ? Count(key.store, FALSE) : 0;
    if (index < own)
        return RegEnumKeyExA(key.store, index, name, size, reserved, cls, clsSize, written);
    LONG i = key.machine ? MachineIndex(&key, index, own, FALSE) : -1;
    return i < 0 ? ERROR_NO_MORE_ITEMS : RegEnumKeyExA(key.machine, i, name, size, reserved, cls, clsSize, written);
}

LONG WINAPI TwRig_RegEnumValueA(HKEY hkey, DWORD index, LPSTR name, LPDWORD size, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD dataSize)
{
    Key key;
    if (!Virtual(hkey, &key))
        return RegEnumValueA(hkey, index, name, size, reserved, type, data, dataSize);
    DWORD own = key.store ? Count(key.store, TRUE) : 0;
    if (index < own)
        return RegEnumValueA(key.store, index, name, size, reserved, type, data, dataSize);
    LONG i = key.machine ? MachineIndex(&key, index, own, TRUE) : -1;
    return i < 0 ? ERROR_NO_MORE_ITEMS : RegEnumValueA(key.machine, i, name, size, reserved, type, data, dataSize);
}

LONG WINAPI TwRig_RegQueryInfoKeyA(HKEY hkey, LPSTR cls, LPDWORD clsSize, LPDWORD reserved, LPDWORD subkeys,
                                   LPDWORD maxSubkey, LPDWORD maxClass, LPDWORD values, LPDWORD maxValueName,
                                   LPDWORD maxValue, LPDWORD security, PFILETIME written)
{
    Key key;
    if (!Virtual(hkey, &key) || !key.store || !key.machine) {
        HKEY one = Virtual(hkey, &key) ? (key.machine ? key.machine : key.store) : hkey;
        return RegQueryInfoKeyA(one, cls, clsSize, reserved, subkeys, maxSubkey, maxClass, values, maxValueName,
                                maxValue, security, written);
    }
    DWORD m[5] = {0}, s[5] = {0};
    LONG r = RegQueryInfoKeyA(key.machine, cls, clsSize, reserved, NULL, &m[0], &m[1], NULL, &m[2], &m[3], security,
                              written);
    if (r == ERROR_SUCCESS)
        r = RegQueryInfoKeyA(key.store, NULL, NULL, NULL, NULL, &s[0], &s[1], NULL, &s[2], &s[3], NULL, NULL);
    if (r != ERROR_SUCCESS)
        return r;
    DWORD* outs[4] = {maxSubkey, maxClass, maxValueName, maxValue};
    for (int i = 0; i < 4; i++)
        if (outs[i])
            *outs[i] = max(m[i], s[i]);
    /* Merged counts: the person's items and the machine's not shadowed by them. */
    DWORD ownKeys = Count(key.store, FALSE), ownValues = Count(key.store, TRUE), n;
    if (subkeys) {
        for (n = 0; MachineIndex(&key, ownKeys + n, ownKeys, FALSE) >= 0;)
            n++;
        *subkeys = ownKeys + n;
    }
    if (values) {
        for (n = 0; MachineIndex(&key, ownValues + n, ownValues, TRUE) >= 0;)
            n++;
        *values = ownValues + n;
    }
    return ERROR_SUCCESS;
}
