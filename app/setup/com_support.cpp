// Loading COM at run time: see com_support.h.
#include "setup/com_support.h"
#include "common/paths.h"

namespace {
ComEntries entries;
bool looked;
bool complete;

template <class F>
bool Find(HMODULE library, const char* name, F* entry)
{
    *entry = library ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name))) : nullptr;
    return *entry != nullptr;
}
}

const ComEntries* Com()
{
    if (!looked) {
        looked = true;
        HMODULE ole = LoadLibraryA("ole32.dll");
        HMODULE automation = LoadLibraryA("oleaut32.dll");
        complete = Find(ole, "CoInitialize", &entries.coInitialize) &
                   Find(ole, "CoUninitialize", &entries.coUninitialize) &
                   Find(ole, "CoCreateInstance", &entries.coCreateInstance) &
                   Find(automation, "SysAllocString", &entries.sysAllocString) &
                   Find(automation, "SysFreeString", &entries.sysFreeString);
    }
    return complete ? &entries : nullptr;
}

ComScope StartCom()
{
    const ComEntries* com = Com();
    return ComScope(com ? com->coInitialize : nullptr, com ? com->coUninitialize : nullptr);
}

WideText::WideText(const char* ansi)
{
    WCHAR wide[kPathSize];
    if (Com() && ansi && MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, kPathSize) > 0)
        text = Com()->sysAllocString(wide);
}

WideText::~WideText()
{
    if (text)
        Com()->sysFreeString(text);
}
