// add_directory.cpp -- the Add Dir command, its folder browser and the walk.
#include "add_directory.h"

#include <wchar.h>

#include "commands.h"
#include "entry_list.h"
#include "folder_browser.h"
#include "resource.h"
#include "services.h"
#include "settings.h"

wchar_t g_addRoot[PATH_SIZE];
wchar_t g_folderPath[PATH_SIZE];

namespace {

// What the names of the files walked start with: "data", or a dropped
// folder's place in the archive.
wchar_t g_addPrefix[PATH_SIZE] = L"data";

// Files and folders the walk could not take, by reason: their paths or
// archive names do not fit (nothing is ever cut short), or their names do
// not convert to code page 949 exactly (a near character would name a file
// the repack cannot find). The first few of each are named in the report.
const int LEFT_OUT_NAMED = 5;
const int LEFT_OUT_NAMES_SIZE = 1200;

struct LeftOut {
    int count;
    wchar_t names[LEFT_OUT_NAMES_SIZE];
};

LeftOut g_tooLong;
LeftOut g_notConverted;

void ForgetLeftOut() {
    g_tooLong = {};
    g_notConverted = {};
}

// Remembers one item left out: a folder path and optionally a name inside it.
void NoteLeftOut(LeftOut* list, const wchar_t* folder, const wchar_t* name) {
    list->count += 1;
    if (list->count > LEFT_OUT_NAMED) return;
    size_t used = wcslen(list->names);
    FormatText(list->names + used, LEFT_OUT_NAMES_SIZE - used, L"%s%s%s\n", folder, name,
               name[0] ? L"" : L"\\");
}

// Appends one reason's paragraph of the report to text (TEXT_BUFFER_SIZE).
void DescribeLeftOut(const LeftOut& list, UINT reason, wchar_t* text) {
    if (list.count == 0) return;
    wchar_t names[TEXT_BUFFER_SIZE];
    FormatText(names, TEXT_BUFFER_SIZE, L"%s", list.names);
    if (list.count > LEFT_OUT_NAMED) {
        size_t used = wcslen(names);
        FormatText(names + used, TEXT_BUFFER_SIZE - used, LoadResString(IDS_FILES_LEFT_OUT_MORE),
                   list.count - LEFT_OUT_NAMED);
    }
    size_t used = wcslen(text);
    if (used > 0) FormatText(text + used, TEXT_BUFFER_SIZE - used, L"\n\n");
    used = wcslen(text);
    FormatText(text + used, TEXT_BUFFER_SIZE - used, LoadResString(reason), list.count, names);
}

// Every file left out, in one box.
void ReportLeftOut(HWND window) {
    wchar_t text[TEXT_BUFFER_SIZE] = L"";
    DescribeLeftOut(g_tooLong, IDS_FILES_LEFT_OUT, text);
    DescribeLeftOut(g_notConverted, IDS_NAMES_NOT_CONVERTED, text);
    if (text[0]) ShowProblem(window, IDS_LEFT_OUT_CAPTION, L"%s", text);
}

const UINT CODE_PAGE_949 = 949;

// True when name converts to code page 949 and back unchanged. The engine
// stores the converted bytes and the repack opens the file by them, so a
// best-fit character (e for e-acute) would name a file that is not there.
bool ConvertsExactly(const wchar_t* name) {
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(CODE_PAGE_949, WC_NO_BEST_FIT_CHARS, name, -1, nullptr, 0,
                                   nullptr, &usedDefault);
    return size > 0 && !usedDefault;
}

// Joins up to three parts into buffer of PATH_SIZE; false (and nothing
// written) when they do not fit with the terminator.
bool JoinPath(wchar_t* buffer, const wchar_t* a, const wchar_t* b, const wchar_t* c) {
    size_t length = wcslen(a) + wcslen(b) + wcslen(c);
    if (length >= PATH_SIZE) return false;
    FormatText(buffer, PATH_SIZE, L"%s%s%s", a, b, c);
    return true;
}

// Setting the status text costs far more than adding a file (about a
// millisecond under Wine), so the walk shows the name being added at most
// every STATUS_EVERY_MS; the first file's always.
const DWORD STATUS_EVERY_MS = 30;
bool g_walkShown = false;
DWORD g_walkShownAt = 0;

void ShowWalkedName(const wchar_t* name) {
    DWORD now = GetTickCount();
    if (g_walkShown && now - g_walkShownAt < STATUS_EVERY_MS) return;
    g_walkShown = true;
    g_walkShownAt = now;
    SetStatusText(name);
}

bool IsDotEntry(const wchar_t* name) {
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

// One listed file: its archive name is the prefix ("data" for Add Dir)
// followed by the folder path less the chosen root, and the file's name.
void AddListedFile(const wchar_t* folder, const wchar_t* fileName) {
    wchar_t diskPath[PATH_SIZE];
    wchar_t archiveName[PATH_SIZE];
    size_t rootLength = wcslen(g_addRoot);
    const wchar_t* relative = wcslen(folder) > rootLength ? folder + rootLength : L"";
    // The writer reads the file from the root and the name less "data", so
    // its whole path must fit as well as its archive name.
    if (!JoinPath(diskPath, folder, fileName, L"") ||
        !JoinPath(archiveName, g_addPrefix, relative, fileName)) {
        NoteLeftOut(&g_tooLong, folder, fileName);
        return;
    }
    // The folders' names were checked on the way down.
    if (!ConvertsExactly(fileName)) {
        NoteLeftOut(&g_notConverted, folder, fileName);
        return;
    }
    ShowWalkedName(archiveName);
    // The record keeps its own file's path: folders added one after another
    // each pack their own files.
    if (GrfAddLocalFile(g_archive, archiveName, diskPath) != 0)
        NoteLeftOut(&g_tooLong, folder, fileName);
}

}  // namespace

wchar_t* AskDirectory(HWND owner) {
    wchar_t start[PATH_SIZE];
    ReadFolderSetting(FOLDER_ADD, start, PATH_SIZE);
    if (!AskFolder(owner, IDS_SELECT_DIRECTORY, FOLDER_TO_READ, start, g_folderPath))
        return nullptr;
    WriteFolderSetting(FOLDER_ADD, g_folderPath, false);
    return g_folderPath;
}

void AddDirectoryTree(const wchar_t* folder) {
    // The separator is added only to paths that have one already, so the
    // names keep the shape the browser gave.
    const wchar_t* separator = wcschr(folder, L'\\') ? L"\\" : L"";
    wchar_t folderPath[PATH_SIZE];
    wchar_t pattern[PATH_SIZE];
    if (!JoinPath(folderPath, folder, separator, L"") ||
        !JoinPath(pattern, folderPath, L"*.*", L"")) {
        NoteLeftOut(&g_tooLong, folder, L"");
        return;
    }
    WIN32_FIND_DATAW item;
    HANDLE listing = FindFirstFileW(pattern, &item);
    if (listing == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDotEntry(item.cFileName)) continue;
        if (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            wchar_t subfolder[PATH_SIZE];
            if (!ConvertsExactly(item.cFileName)) {
                NoteLeftOut(&g_notConverted, folderPath, item.cFileName);
            } else if (JoinPath(subfolder, folderPath, item.cFileName, L"")) {
                AddDirectoryTree(subfolder);
            } else {
                NoteLeftOut(&g_tooLong, folderPath, item.cFileName);
            }
        } else {
            AddListedFile(folderPath, item.cFileName);
        }
    } while (FindNextFileW(listing, &item));
    FindClose(listing);
}

namespace {

// A new archive can be built from added files alone.
bool HaveArchive(HWND window) {
    if (g_archive != GRF_NO_ARCHIVE) return true;
    g_archive = GrfCreate(L"output.grf");
    if (g_archive != GRF_NO_ARCHIVE) return true;
    ShowError(window, LoadResString(IDS_OUT_OF_MEMORY));
    return false;
}

bool IsFolder(const wchar_t* path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// One dropped file or folder at path, below the archive folder base.
void AddDropped(const wchar_t* path, const wchar_t* base) {
    wchar_t whole[PATH_SIZE];
    if (!JoinPath(whole, path, L"", L"")) return;
    size_t length = wcslen(whole);
    while (length > 3 && whole[length - 1] == L'\\') whole[--length] = L'\0';
    const wchar_t* slash = wcsrchr(whole, L'\\');
    const wchar_t* name = slash ? slash + 1 : whole;
    wchar_t folder[PATH_SIZE] = L"";
    if (slash) FormatText(folder, PATH_SIZE, L"%.*s", static_cast<int>(slash - whole + 1), whole);
    if (!name[0] || !ConvertsExactly(name)) {
        NoteLeftOut(&g_notConverted, folder, name);
        return;
    }
    if (!IsFolder(whole)) {
        wchar_t archiveName[PATH_SIZE];
        if (!JoinPath(archiveName, base, name, L"") ||
            GrfAddLocalFile(g_archive, archiveName, whole) != 0)
            NoteLeftOut(&g_tooLong, folder, name);
        return;
    }
    // A folder keeps its name below base; the data folder itself dropped
    // onto data\ gives its contents, as Add Dir of it does.
    wchar_t prefix[PATH_SIZE];
    bool dataOntoData = _wcsicmp(name, L"data") == 0 && _wcsicmp(base, L"data\\") == 0;
    if (!JoinPath(prefix, base, dataOntoData ? L"" : name, L"")) {
        NoteLeftOut(&g_tooLong, folder, name);
        return;
    }
    size_t prefixLength = wcslen(prefix);
    if (prefixLength > 0 && prefix[prefixLength - 1] == L'\\') prefix[prefixLength - 1] = L'\0';
    wcscpy(g_addPrefix, prefix);
    wcscpy(g_addRoot, whole);
    AddDirectoryTree(g_addRoot);
}

}  // namespace

void CmdAddDropped(HWND window, const std::vector<std::wstring>& paths, const wchar_t* base) {
    if (paths.empty() || !HaveArchive(window)) return;
    ForgetLeftOut();
    g_walkShown = false;
    for (const std::wstring& path : paths) AddDropped(path.c_str(), base);
    wcscpy(g_addPrefix, L"data");
    RefreshEntryList(window);
    SetStatusText(LoadResString(IDS_READY));
    ReportLeftOut(window);
}

void CmdAddDirectory(HWND window) {
    if (!HaveArchive(window)) return;
    const wchar_t* folder = AskDirectory(window);
    if (!folder) return;
    wcscpy(g_addPrefix, L"data");
    wcscpy(g_addRoot, folder);
    ForgetLeftOut();
    g_walkShown = false;
    AddDirectoryTree(g_addRoot);
    RefreshEntryList(window);
    SetStatusText(LoadResString(IDS_READY));
    ReportLeftOut(window);
}
