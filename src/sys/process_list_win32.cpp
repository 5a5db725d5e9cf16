// Windows only: process lists through psapi or Toolhelp, their functions looked up at run time.
#include "sys/process_list.h"

#include "sys/handles_win32.h"
#include "sys/process_detail.h"
#include "sys/process_list_detail.h"

#include <tlhelp32.h>

#include <new>
#include <vector>

namespace {

// The psapi and Toolhelp functions, as the system exports them.
using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using GetModuleNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using GetModuleInformationFn = BOOL(WINAPI*)(HANDLE, HMODULE, void*, DWORD);
using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
using ModuleWalkFn = BOOL(WINAPI*)(HANDLE, MODULEENTRY32*);

constexpr DWORD kQueryAndRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;  // 0x0410
constexpr DWORD kPlatform95 = VER_PLATFORM_WIN32_WINDOWS;                     // 1
constexpr DWORD kPlatformNt = VER_PLATFORM_WIN32_NT;                          // 2
// A Toolhelp process record of this size or smaller carries no executable text.
constexpr DWORD kShortestProcessEntry = 36;

struct Version {
    bool known = false;
    DWORD platform = 0;
    DWORD major = 0;
    DWORD minor = 0;
};

Version SystemVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    Version version;
    if (GetVersionExA(&info)) {
        version = {true, info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
    }
    return version;
}

// The System process's id, which depends on the version (4 on every version since XP).
DWORD SystemProcessId(const Version& version) {
    if (version.major < 5) {
        return 8;
    }
    if (version.major == 5 && version.minor == 0) {
        return 2;
    }
    return 4;
}

std::string UpperCase(std::string text) {
    if (!text.empty()) {
        CharUpperBuffA(&text[0], static_cast<DWORD>(text.size()));
    }
    return text;
}

// The ids of the running processes, in a buffer that grows until the list fits; false with the
// thread's last error when they cannot be read.
bool ReadProcessIds(EnumProcessesFn enumProcesses, std::vector<DWORD>& ids, std::size_t firstRoom) {
    try {
        ids.assign(firstRoom, 0);
        for (;;) {
            const DWORD bytes = static_cast<DWORD>(ids.size() * sizeof(DWORD));
            DWORD returned = 0;
            if (!enumProcesses(ids.data(), bytes, &returned)) {
                return false;
            }
            if (returned < bytes) {
                ids.resize(returned / sizeof(DWORD));
                return true;
            }
            ids.assign(ids.size() * 2, 0);
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}

HMODULE LoadPsapi() {
    HMODULE library = LoadLibraryA("psapi.dll");
    return library != nullptr ? library : LoadLibraryA("dlls\\psapi.dll");
}

// Fills the buffers from a path read by QueryImagePath; false when there is none.
bool CopyPath(const std::string& file, char* name, char* path) {
    if (file.empty()) {
        return false;
    }
    CopyProcessText(path, file);
    CopyProcessText(name, StripFolder(file));
    return true;
}

std::uint32_t TerminateById(DWORD id) {
    const ScopedHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
    if (!process.IsValid()) {
        return kKillOpenFailed;
    }
    return TerminateProcess(process.Get(), 0) ? kKillDone : kKillTerminateFailed;
}

class CProcessInfoPSAPI : public CProcessInfoBase {
public:
    bool Init() override {
        library_.Reset(LoadLibraryA("PSAPI.DLL"));
        const HMODULE m = library_.Get();
        enumProcesses_ = LookUp<EnumProcessesFn>(m, "EnumProcesses");
        enumProcessModules_ = LookUp<EnumProcessModulesFn>(m, "EnumProcessModules");
        getModuleBaseName_ = LookUp<GetModuleNameFn>(m, "GetModuleBaseNameA");
        getModuleFileNameEx_ = LookUp<GetModuleNameFn>(m, "GetModuleFileNameExA");
        getModuleInformation_ = LookUp<GetModuleInformationFn>(m, "GetModuleInformation");
        initialised_ = enumProcesses_ != nullptr && enumProcessModules_ != nullptr &&
                       getModuleBaseName_ != nullptr && getModuleFileNameEx_ != nullptr &&
                       getModuleInformation_ != nullptr;
        modules_.assign(kFirstRoom, nullptr);
        return initialised_;
    }

    void Done() override {
        process_.Reset();
        ids_.clear();
        cursor_ = 0;
        initialised_ = false;
        library_.Reset();
    }

    bool Refresh() override {
        process_.Reset();
        cursor_ = 0;
        if (!initialised_ || !ReadProcessIds(enumProcesses_, ids_, kFirstRoom)) {
            ids_.clear();
            return false;
        }
        return true;
    }

    bool NextProcess(char* name, char* path, std::uint32_t* id, bool* more) override {
        process_.Reset();
        if (cursor_ >= ids_.size()) {
            *more = false;
            return false;
        }
        *id = ids_[cursor_++];
        *more = cursor_ < ids_.size();
        if (CanQueryImagePath()) {
            return CopyPath(QueryImagePath(*id), name, path);
        }
        // The handle stays open until the next call, for a walk of the process's modules.
        process_.Reset(OpenProcess(kQueryAndRead, FALSE, *id));
        if (!process_.IsValid() || !ReadFirstModule()) {
            return false;
        }
        char file[kProcessTextSize] = {};
        if (getModuleFileNameEx_(process_.Get(), modules_[0], file, kProcessTextSize) == 0) {
            return false;
        }
        CopyProcessText(path, file);
        CopyProcessText(name, StripFolder(file));
        return true;
    }

private:
    static constexpr std::size_t kFirstRoom = 150;

    bool ReadFirstModule() {
        for (;;) {
            const DWORD bytes = static_cast<DWORD>(modules_.size() * sizeof(HMODULE));
            DWORD needed = 0;
            if (!enumProcessModules_(process_.Get(), modules_.data(), bytes, &needed) ||
                needed == 0) {
                return false;
            }
            if (needed <= bytes) {
                return true;
            }
            modules_.assign(needed / sizeof(HMODULE), nullptr);
        }
    }

    ScopedLibrary library_;
    EnumProcessesFn enumProcesses_ = nullptr;
    EnumProcessModulesFn enumProcessModules_ = nullptr;
    GetModuleNameFn getModuleBaseName_ = nullptr;
    GetModuleNameFn getModuleFileNameEx_ = nullptr;
    GetModuleInformationFn getModuleInformation_ = nullptr;
    std::vector<DWORD> ids_;
    std::vector<HMODULE> modules_;
    std::size_t cursor_ = 0;
    ScopedHandle process_;
    bool initialised_ = false;
};

class CProcessInfoToolhelp : public CProcessInfoBase {
public:
    bool Init() override {
        library_.Reset(LoadLibraryA("KERNEL32.DLL"));
        const HMODULE m = library_.Get();
        process32First_ = LookUp<ProcessWalkFn>(m, "Process32First");
        process32Next_ = LookUp<ProcessWalkFn>(m, "Process32Next");
        module32First_ = LookUp<ModuleWalkFn>(m, "Module32First");
        module32Next_ = LookUp<ModuleWalkFn>(m, "Module32Next");
        createSnapshot_ = LookUp<CreateSnapshotFn>(m, "CreateToolhelp32Snapshot");
        initialised_ = process32First_ != nullptr && process32Next_ != nullptr &&
                       module32First_ != nullptr && module32Next_ != nullptr &&
                       createSnapshot_ != nullptr;
        return initialised_;
    }

    void Done() override {
        processes_.Reset();
        modules_.Reset();
        initialised_ = false;
        library_.Reset();
    }

    bool Refresh() override {
        processes_.Reset();
        modules_.Reset();
        if (!initialised_) {
            return false;
        }
        processes_.Reset(createSnapshot_(TH32CS_SNAPPROCESS, 0));
        firstProcessNext_ = true;
        return processes_.IsValid();
    }

    bool NextProcess(char* name, char* path, std::uint32_t* id, bool* more) override {
        if (!processes_.IsValid()) {
            *more = false;
            return false;
        }
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        const BOOL read = firstProcessNext_ ? process32First_(processes_.Get(), &entry)
                                            : process32Next_(processes_.Get(), &entry);
        firstProcessNext_ = false;
        if (!read) {
            // The end of the list (error 18), or a list that cannot be read any further: either
            // way the walk is over.
            *more = false;
            return false;
        }
        modules_.Reset();
        CopyProcessText(path, entry.szExeFile);
        CopyProcessText(name, StripFolder(entry.szExeFile));
        *id = entry.th32ProcessID;
        if (CanQueryImagePath()) {
            return CopyPath(QueryImagePath(*id), name, path);
        }
        // Kept for a walk of the process's modules.
        modules_.Reset(createSnapshot_(TH32CS_SNAPMODULE, entry.th32ProcessID));
        return modules_.IsValid();
    }

private:
    ScopedLibrary library_;
    ProcessWalkFn process32First_ = nullptr;
    ProcessWalkFn process32Next_ = nullptr;
    ModuleWalkFn module32First_ = nullptr;
    ModuleWalkFn module32Next_ = nullptr;
    CreateSnapshotFn createSnapshot_ = nullptr;
    ScopedHandle processes_;
    ScopedHandle modules_;
    bool firstProcessNext_ = true;
    bool initialised_ = false;
};

}  // namespace

bool EnumerateProcessesPsapi(ProcessCallback callback, void* user) {
    ScopedLibrary psapi(LoadPsapi());
    if (!psapi.IsValid()) {
        return false;
    }
    const auto enumProcesses = LookUp<EnumProcessesFn>(psapi.Get(), "EnumProcesses");
    const auto enumProcessModules = LookUp<EnumProcessModulesFn>(psapi.Get(), "EnumProcessModules");
    const auto getModuleFileNameEx = LookUp<GetModuleNameFn>(psapi.Get(), "GetModuleFileNameExA");
    if (enumProcesses == nullptr || enumProcessModules == nullptr ||
        getModuleFileNameEx == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    const DWORD systemId = SystemProcessId(SystemVersion());

    // 128 bytes doubled before the first call: room for 64 ids, then twice as many each time.
    std::vector<DWORD> ids;
    if (!ReadProcessIds(enumProcesses, ids, 64)) {
        // The caller gets the listing's error, not whatever unloading the library leaves.
        const DWORD error = GetLastError();
        psapi.Reset();
        SetLastError(error);
        return false;
    }
    for (const DWORD id : ids) {
        std::string name;
        const char* reported = nullptr;
        if (id == 0) {
            reported = "Idle";
        } else if (id == systemId) {
            reported = "System";
        } else if (CanQueryImagePath()) {
            name = StripFolder(QueryImagePath(id));
            reported = name.empty() ? nullptr : name.c_str();
        } else if (const ScopedHandle process(OpenProcess(kQueryAndRead, FALSE, id));
                   process.IsValid()) {
            HMODULE first = nullptr;
            DWORD needed = 0;
            char file[kProcessTextSize] = {};
            if (enumProcessModules(process.Get(), &first, sizeof first, &needed) &&
                getModuleFileNameEx(process.Get(), first, file, kProcessTextSize) != 0) {
                name = StripFolder(file);
                reported = name.c_str();
            }
        }
        if (callback(id, reported, user) == 0) {
            break;
        }
    }
    return true;
}

bool EnumerateProcessesToolhelp(ProcessCallback callback, void* user) {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto createSnapshot = LookUp<CreateSnapshotFn>(kernel, "CreateToolhelp32Snapshot");
    const auto process32First = LookUp<ProcessWalkFn>(kernel, "Process32First");
    const auto process32Next = LookUp<ProcessWalkFn>(kernel, "Process32Next");
    if (createSnapshot == nullptr || process32First == nullptr || process32Next == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return false;
    }
    const ScopedHandle snapshot(createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid()) {
        return false;
    }
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    if (!process32First(snapshot.Get(), &entry)) {
        return false;
    }
    do {
        std::string name;
        if (entry.dwSize > kShortestProcessEntry) {
            name = StripFolder(entry.szExeFile);
        }
        if (callback(entry.th32ProcessID,
                     entry.dwSize > kShortestProcessEntry ? name.c_str() : nullptr, user) == 0) {
            break;
        }
        entry.dwSize = sizeof entry;
    } while (process32Next(snapshot.Get(), &entry));
    return true;
}

bool EnumerateProcesses(ProcessCallback callback, void* user) {
    switch (SystemVersion().platform) {
        case kPlatform95:
            return EnumerateProcessesToolhelp(callback, user);
        case kPlatformNt:
            return EnumerateProcessesPsapi(callback, user);
        default:
            SetLastError(ERROR_CALL_NOT_IMPLEMENTED);  // 120
            return false;
    }
}

std::uint32_t KillProcessByNamePsapi(const std::string& upperName) {
    const ScopedLibrary psapi(LoadLibraryA("PSAPI.DLL"));
    if (!psapi.IsValid()) {
        return kKillNoPsapi;
    }
    const auto enumProcesses = LookUp<EnumProcessesFn>(psapi.Get(), "EnumProcesses");
    const auto enumProcessModules = LookUp<EnumProcessModulesFn>(psapi.Get(), "EnumProcessModules");
    const auto getModuleBaseName = LookUp<GetModuleNameFn>(psapi.Get(), "GetModuleBaseNameA");
    if (enumProcesses == nullptr || enumProcessModules == nullptr || getModuleBaseName == nullptr) {
        return kKillPsapiIncomplete;
    }
    std::vector<DWORD> ids;
    if (!ReadProcessIds(enumProcesses, ids, 1024)) {
        return kKillEnumFailed;
    }
    for (const DWORD id : ids) {
        std::string name = "Unknown";
        if (CanQueryImagePath()) {
            name = StripFolder(QueryImagePath(id));
        } else if (const ScopedHandle process(OpenProcess(kQueryAndRead, FALSE, id));
                   process.IsValid()) {
            HMODULE first = nullptr;
            DWORD needed = 0;
            char base[kProcessTextSize] = {};
            if (enumProcessModules(process.Get(), &first, sizeof first, &needed) &&
                getModuleBaseName(process.Get(), first, base, kProcessTextSize) != 0) {
                name = base;
            }
        }
        if (UpperCase(name) == upperName) {
            return TerminateById(id);
        }
    }
    return kKillNotFound;
}

std::uint32_t KillProcessByNameToolhelp(const std::string& upperName) {
    const ScopedLibrary kernel(LoadLibraryA("Kernel32.DLL"));
    if (!kernel.IsValid()) {
        return kKillNoKernel;
    }
    const auto createSnapshot = LookUp<CreateSnapshotFn>(kernel.Get(), "CreateToolhelp32Snapshot");
    const auto process32First = LookUp<ProcessWalkFn>(kernel.Get(), "Process32First");
    const auto process32Next = LookUp<ProcessWalkFn>(kernel.Get(), "Process32Next");
    const auto module32First = LookUp<ModuleWalkFn>(kernel.Get(), "Module32First");
    const auto module32Next = LookUp<ModuleWalkFn>(kernel.Get(), "Module32Next");
    if (createSnapshot == nullptr || process32First == nullptr || process32Next == nullptr ||
        module32First == nullptr || module32Next == nullptr) {
        return kKillToolhelpIncomplete;
    }
    const ScopedHandle processes(createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!processes.IsValid()) {
        return kKillSnapshotFailed;
    }
    PROCESSENTRY32 process{};
    process.dwSize = sizeof process;
    for (BOOL more = process32First(processes.Get(), &process); more;
         process.dwSize = sizeof process, more = process32Next(processes.Get(), &process)) {
        if (CanQueryImagePath()) {
            if (UpperCase(StripFolder(QueryImagePath(process.th32ProcessID))) == upperName) {
                return TerminateById(process.th32ProcessID);
            }
            continue;
        }
        // A process whose modules cannot be read (another user's, a 64-bit one) is not it.
        const ScopedHandle modules(createSnapshot(TH32CS_SNAPMODULE, process.th32ProcessID));
        if (!modules.IsValid()) {
            continue;
        }
        MODULEENTRY32 module{};
        module.dwSize = sizeof module;
        for (BOOL moduleMore = module32First(modules.Get(), &module); moduleMore;
             module.dwSize = sizeof module, moduleMore = module32Next(modules.Get(), &module)) {
            if (UpperCase(module.szModule) == upperName) {
                return TerminateById(process.th32ProcessID);
            }
        }
    }
    return kKillNotFound;
}

std::uint32_t KillProcessByName(const std::string& name) {
    if (name.empty() || name.size() > kProcessTextSize) {
        return kKillBadName;
    }
    const std::string upperName = UpperCase(name);
    const Version version = SystemVersion();
    if (!version.known) {
        return kKillNoVersion;
    }
    switch (version.platform) {
        case kPlatformNt:
            return KillProcessByNamePsapi(upperName);
        case kPlatform95:
            return KillProcessByNameToolhelp(upperName);
        default:
            return kKillUnknownPlatform;
    }
}

std::unique_ptr<CProcessInfoBase> ChooseProcessInfoWay(bool preferPsapi) {
    // The 95 family has only Toolhelp, NT 4 only psapi. Everywhere else both work (psapi on all
    // but Windows Me, which is of the 95 family); the caller's preference decides.
    const Version version = SystemVersion();
    const bool psapi = version.platform == kPlatformNt && (version.major == 4 || preferPsapi);
    if (psapi) {
        return std::make_unique<CProcessInfoPSAPI>();
    }
    return std::make_unique<CProcessInfoToolhelp>();
}
