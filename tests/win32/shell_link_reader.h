// A shell link read back through the shell link object, as the shell reads
// it when the link is opened: what a user's click would run. Shared by the
// robot and the setup tests.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <string>

struct LinkFields {
    bool loaded = false;
    std::string path, args, workdir, description, icon;
    int iconIndex = 0;
};

inline LinkFields ReadLink(const std::string& file)
{
    LinkFields fields;
    // A caller that already runs COM in another mode can still create the object.
    HRESULT init = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                         reinterpret_cast<void**>(&link)) == S_OK) {
        IPersistFile* persist = nullptr;
        if (link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)) == S_OK) {
            WCHAR wide[MAX_PATH];
            MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
            if (persist->Load(wide, STGM_READ) == S_OK) {
                char text[1024];
                fields.loaded = true;
                text[0] = 0;
                link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
                fields.path = text;
                text[0] = 0;
                link->GetArguments(text, sizeof text);
                fields.args = text;
                text[0] = 0;
                link->GetWorkingDirectory(text, sizeof text);
                fields.workdir = text;
                text[0] = 0;
                link->GetDescription(text, sizeof text);
                fields.description = text;
                text[0] = 0;
                link->GetIconLocation(text, sizeof text, &fields.iconIndex);
                fields.icon = text;
            }
            persist->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(init))
        CoUninitialize();
    return fields;
}
