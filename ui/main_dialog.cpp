// main_dialog.cpp -- program start and the main dialog: initialization, the
// message switch, the command table, tooltips and the About box.
#include "main_dialog.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <windowsx.h>

#include <string>

#include "add_directory.h"
#include "background_open.h"
#include "commands.h"
#include "drag_out.h"
#include "drop_target.h"
#include "entry_list.h"
#include "entry_preview.h"
#include "extraction.h"
#include "folder_tree.h"
#include "main_layout.h"
#include "password_prompt.h"
#include "patch_folder.h"
#include "preview_launch_win32.h"
#include "recent_archives.h"
#include "resource.h"
#include "services.h"
#include "settings.h"

namespace {

struct ToolTipSpec {
    int control;  // 0 ends the table
    UINT text;
};

// Row order is the tools' numbering.
const ToolTipSpec TOOL_TIPS[] = {
    {IDC_OPEN, IDS_TIP_OPEN},
    {IDC_EXIT, IDS_TIP_EXIT},
    {IDC_FILTER, IDS_TIP_FILTER},
    {IDC_EXTRACT, IDS_TIP_EXTRACT},
    {IDC_EXTRACT_ALL, IDS_TIP_EXTRACT_ALL},
    {IDC_ADD_GRF, IDS_TIP_ADD_GRF},
    {IDC_ADD_DIR, IDS_TIP_ADD_DIR},
    {IDC_REPACK, IDS_TIP_REPACK},
    {IDC_LEVEL, IDS_TIP_LEVEL},
    {IDC_VERSION, IDS_TIP_VERSION},
    {IDC_DELETE_SEL, IDS_TIP_DELETE_SEL},
    {IDC_ENTRY_LIST, IDS_TIP_ENTRY_LIST},
    {IDC_CLOSE_GRF, IDS_TIP_CLOSE_GRF},
    {IDC_SAVE, IDS_TIP_SAVE},
    {0, 0},
};

const int TIP_WIDTH = 200;  // long tips wrap at this width in pixels

// Posted once the dialog shows when it was last closed maximised.
const UINT WM_SHOW_MAXIMISED = WM_APP + 42;
bool g_maximiseWhenShown = false;

// The buttons that act on the loaded archive: off while there is none.
// Add Grf and Add Dir start one, Filter sets the pattern the next one is
// listed with.
const int ARCHIVE_BUTTONS[] = {IDC_EXTRACT, IDC_EXTRACT_ALL, IDC_REPACK, IDC_DELETE_SEL,
                               IDC_CLOSE_GRF};

// Set while a command or a preview runs. Their boxes and progress window
// let messages through, and one that was queued for the main dialog must not
// start another command or close the archive under the running one.
bool g_commandRunning = false;

HWND g_toolTips = nullptr;

// The archive the command line names, opened once the dialog is up.
std::wstring g_startArchive;

// Drop-down items in the order they are added; position 1 starts selected.
const UINT LEVEL_ITEMS[] = {IDS_LEVEL_LOW, IDS_LEVEL_MEDIUM, IDS_LEVEL_HIGH};
const UINT VERSION_ITEMS[] = {IDS_VERSION_102, IDS_VERSION_103, IDS_VERSION_200, IDS_VERSION_300};
const int INITIAL_ITEM = 1;

void SetDialogIcon(HWND window) {
    HANDLE icon = LoadImageW(g_instance, MAKEINTRESOURCEW(IDI_CASKWRIGHT), IMAGE_ICON,
                             GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0);
    if (!icon) return;
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void FillDropDown(HWND window, int control, const UINT* items, int count) {
    for (int i = 0; i < count; ++i) {
        SendDlgItemMessageW(window, control, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(LoadResString(items[i])));
    }
    SendDlgItemMessageW(window, control, CB_SETCURSEL, INITIAL_ITEM, 0);
}

// The folder tree's switch, then About, last.
void AddSystemMenuItems(HWND window) {
    HMENU menu = GetSystemMenu(window, FALSE);
    AppendMenuW(menu, MF_STRING, ID_FOLDER_TREE, LoadResString(IDS_FOLDER_TREE_ITEM));
    AppendMenuW(menu, MF_STRING, ID_ABOUT, LoadResString(IDS_ABOUT_ITEM));
}

// The list follows the tree: hiding it shows every folder again.
void SwitchFolderTree(HWND window, bool show) {
    if (ShowFolderTree(window, show)) ShowEntryRows(window);
    CheckMenuItem(GetSystemMenu(window, FALSE), ID_FOLDER_TREE,
                  MF_BYCOMMAND | (show ? MF_CHECKED : MF_UNCHECKED));
}

const int COUNTS_WIDTH = 260;  // the list's counts, at the right end

// Messages on the left, the list's counts on the right.
void PlaceStatusParts() {
    RECT area;
    GetClientRect(g_statusBar, &area);
    int parts[2] = {area.right > COUNTS_WIDTH * 2 ? area.right - COUNTS_WIDTH : area.right / 2, -1};
    SendMessageW(g_statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
}

void CreateStatusBar(HWND window) {
    // Size 0: the status bar places itself along the dialog's bottom edge.
    // Clipped around its siblings: an open's Cancel button stands on it.
    g_statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"GrfStatusBar",
                                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0, window,
                                  nullptr, g_instance, nullptr);
    PlaceStatusParts();
}

// Dialog units of the search box: the free room of the lower row, between
// Exit and the version's label.
const RECT SEARCH_PLACE = {60, 156, 152, 170};

void CreateSearchBox(HWND window) {
    RECT place = SEARCH_PLACE;
    MapDialogRect(window, &place);
    HWND box = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, place.left,
                               place.top, place.right - place.left, place.bottom - place.top,
                               window, reinterpret_cast<HMENU>(IDC_SEARCH), g_instance, nullptr);
    SendMessageW(box, WM_SETFONT, SendMessageW(window, WM_GETFONT, 0, 0), FALSE);
    SendMessageW(box, EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(LoadResString(IDS_SEARCH_CUE)));
    // In the tab order where it stands: after Exit.
    SetWindowPos(box, GetDlgItem(window, IDC_EXIT), 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// Keys of the whole window, seen before the dialog's own handling: Ctrl+F
// goes to the search box, Ctrl+O opens, Ctrl+T shows or hides the folders.
LRESULT CALLBACK MainKeyFilter(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && message->message == WM_KEYDOWN && GetKeyState(VK_CONTROL) < 0 &&
        g_mainWindow && (message->hwnd == g_mainWindow || IsChild(g_mainWindow, message->hwnd))) {
        if (message->wParam == 'F') {
            HWND box = GetDlgItem(g_mainWindow, IDC_SEARCH);
            SendMessageW(g_mainWindow, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(box), TRUE);
            return TRUE;
        }
        if (message->wParam == 'O') {
            PostMessageW(g_mainWindow, WM_COMMAND, IDC_OPEN, 0);
            return TRUE;
        }
        if (message->wParam == 'T') {
            PostMessageW(g_mainWindow, WM_SYSCOMMAND, ID_FOLDER_TREE, 0);
            return TRUE;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

const int TIP_INSET = 4;  // between the list's tip and the list's bottom edge

// The list's tip shows centred below its tool's area: that area ends the
// tip's height above the list's bottom, so the tip stands inside the list
// and never over the buttons below it. It follows the list's size.
void PlaceListTip(HWND window) {
    if (!g_toolTips) return;
    for (int row = 0; TOOL_TIPS[row].control != 0; ++row) {
        if (TOOL_TIPS[row].control != IDC_ENTRY_LIST) continue;
        TOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.hwnd = GetDlgItem(window, IDC_ENTRY_LIST);
        tool.uId = static_cast<UINT_PTR>(row);
        GetClientRect(tool.hwnd, &tool.rect);
        LRESULT bubble =
            SendMessageW(g_toolTips, TTM_GETBUBBLESIZE, 0, reinterpret_cast<LPARAM>(&tool));
        int band = HIWORD(bubble) + 2 * TIP_INSET;
        if (tool.rect.bottom - band > tool.rect.top) tool.rect.bottom -= band;
        SendMessageW(g_toolTips, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

// Ctrl+S anywhere in the main dialog means Save. Dialog boxes have no
// accelerator table: a hook sees each key as the dialog's loop takes it,
// turns Ctrl+S into the Save command and hides the key from the control.
HHOOK g_keyHook = nullptr;

LRESULT CALLBACK SaveKeyHook(int code, WPARAM wParam, LPARAM lParam) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && message->message == WM_KEYDOWN &&
        message->wParam == 'S' && GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_MENU) >= 0 &&
        g_mainWindow && GetAncestor(message->hwnd, GA_ROOT) == g_mainWindow) {
        message->message = WM_NULL;
        PostMessageW(g_mainWindow, WM_COMMAND, IDC_SAVE, 0);
    }
    return CallNextHookEx(g_keyHook, code, wParam, lParam);
}

void OnMainInitDialog(HWND window) {
    g_mainWindow = window;
    SetDialogIcon(window);
    FillDropDown(window, IDC_LEVEL, LEVEL_ITEMS, 3);
    FillDropDown(window, IDC_VERSION, VERSION_ITEMS, 4);
    AddSystemMenuItems(window);
    CreateToolTips(window);
    InitEntryList(window, CreateStateImages());
    SetUpEntryPreview();
    SetDlgItemTextW(window, IDC_FILTER_TEXT, L"*.*");
    CreateSearchBox(window);
    SetWindowsHookExW(WH_MSGFILTER, MainKeyFilter, nullptr, GetCurrentThreadId());
    CreateStatusBar(window);
    SetStatusText(LoadResString(IDS_READY));
    UpdateArchiveButtons(window);
    g_keyHook = SetWindowsHookExW(WH_GETMESSAGE, SaveKeyHook, nullptr, GetCurrentThreadId());
    ReadFolderSetting(FOLDER_EXTRACT, g_extractFolder, PATH_SIZE);
    MakeOpenSplitButton(window);
    CreateFolderTree(window);
    RegisterMainDropTarget(window);
    // Maximised once the dialog has shown itself, which it does at its
    // normal size when its queue first goes idle.
    bool maximised = SetUpMainLayout(window);
    g_maximiseWhenShown = maximised;
    if (g_maximiseWhenShown && IsWindowVisible(window)) {
        g_maximiseWhenShown = false;
        PostMessageW(window, WM_SHOW_MAXIMISED, 0, 0);
    }
    if (ReadNumberSetting(FOLDER_TREE_SETTING, 0) != 0) SwitchFolderTree(window, true);
    PlaceListTip(window);
    // A window that comes back maximised opens the archive once it is: the
    // open's own showing would keep it at its normal size.
    if (!g_startArchive.empty() && !maximised) PostMessageW(window, WM_COMMAND, IDM_OPEN_START, 0);
}

void OnMainDestroy(HWND window) {
    StopOpenNow();
    RevokeMainDropTarget(window);
    if (g_keyHook) UnhookWindowsHookEx(g_keyHook);
    g_keyHook = nullptr;
}

void EndMainDialog(HWND window) {
    RememberMainLayout(window);
    EndDialog(window, 0);
}

void ShowAbout(HWND window) {
    wchar_t text[TEXT_BUFFER_SIZE];
    LoadStringW(g_instance, IDS_ABOUT_TEXT, text, TEXT_BUFFER_SIZE);
    MessageBoxW(window, text, LoadResString(IDS_ABOUT_CAPTION), MB_OK | MB_ICONINFORMATION);
}

void OnMainSysCommand(HWND window, WPARAM command) {
    // Every other system command goes on to the dialog's default handling.
    if (command == ID_ABOUT) ShowAbout(window);
    if ((command & 0xFFF0) == ID_FOLDER_TREE && !g_commandRunning && !OpenRunning())
        SwitchFolderTree(window, !FolderTreeShown());
}

// Returns TRUE only for the one notification whose answer is a result.
BOOL OnMainNotify(HWND window, WPARAM controlId, NMHDR* header) {
    if (controlId == IDC_ENTRY_LIST && header->code == LVN_GETDISPINFOW) {
        OnEntryListDispInfo(reinterpret_cast<NMLVDISPINFOW*>(header));
        MarkKeyedCell(reinterpret_cast<NMLVDISPINFOW*>(header));
        return FALSE;
    }
    if (controlId == IDC_ENTRY_LIST && header->code == NM_CUSTOMDRAW) {
        LRESULT answer = OnEntryListCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
        SetWindowLongPtrW(window, DWLP_MSGRESULT, answer);
        return TRUE;
    }
    if (controlId == IDC_ENTRY_LIST && header->code == LVN_COLUMNCLICK) {
        SortEntryList(window, reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        return FALSE;
    }
    if (controlId == IDC_ENTRY_LIST && header->code == LVN_ODFINDITEMW) {
        // Typing in the list asks where to go; left unanswered, the answer
        // would be 0 and every key would jump to the first row.
        int row = FindEntryRow(reinterpret_cast<NMLVFINDITEMW*>(header));
        SetWindowLongPtrW(window, DWLP_MSGRESULT, row);
        return TRUE;
    }
    if (controlId == IDC_FOLDER_TREE) {
        bool chosen = false;
        BOOL answered = OnFolderTreeNotify(window, header, &chosen);
        if (chosen) ShowEntryRows(window);
        return answered;
    }
    // While an archive opens, its rows are for looking at: no command
    // starts from them.
    if (OpenRunning()) return FALSE;
    if (controlId == IDC_OPEN && header->code == BCN_DROPDOWN) {
        if (g_commandRunning) return FALSE;
        g_commandRunning = true;
        UINT chosen = ShowRecentMenu(window);
        g_commandRunning = false;
        if (chosen) OnMainCommand(window, chosen);
        return FALSE;
    }
    if (controlId == IDC_ENTRY_LIST && header->code == LVN_BEGINDRAG) {
        if (!g_commandRunning) {
            g_commandRunning = true;
            DragSelectedRows(window);
            g_commandRunning = false;
        }
        return FALSE;
    }
    if (!g_commandRunning) {
        g_commandRunning = true;
        OnEntryActivated(window, controlId, header);
        g_commandRunning = false;
    }
    return FALSE;
}

struct MenuItem {
    UINT command;
    UINT text;
};

const MenuItem ROW_MENU[] = {
    {IDM_PREVIEW, IDS_MENU_PREVIEW},       {IDM_EXTRACT, IDS_MENU_EXTRACT},
    {IDM_EXTRACT_TO, IDS_MENU_EXTRACT_TO}, {0, 0},
    {IDM_DELETE, IDS_MENU_DELETE},         {IDM_COPY_NAME, IDS_MENU_COPY_NAME},
};

// The rows' menu at screen point at (from the keyboard: -1, -1, under the
// focused row); its choice runs as a command.
void ShowRowMenu(HWND window, HWND list, LPARAM at) {
    POINT point = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (point.x == -1 && point.y == -1) {
        RECT row = {};
        row.left = LVIR_LABEL;
        int focus = FocusedRow(window);
        if (focus < 0 ||
            !SendMessageW(list, LVM_GETITEMRECT, focus, reinterpret_cast<LPARAM>(&row)))
            GetClientRect(list, &row);
        point = {row.left, row.bottom};
        ClientToScreen(list, &point);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    bool any = EntrySelection().count > 0;
    for (const MenuItem& item : ROW_MENU) {
        if (!item.command) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        bool enabled = any || item.command == IDM_PREVIEW;
        AppendMenuW(menu, MF_STRING | (enabled ? 0 : MF_GRAYED), item.command,
                    LoadResString(item.text));
    }
    SetMenuDefaultItem(menu, IDM_PREVIEW, FALSE);
    UINT chosen =
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, window, nullptr);
    DestroyMenu(menu);
    if (chosen) OnMainCommand(window, chosen);
}

void OnSearchChanged(HWND window) {
    wchar_t text[256] = L"";
    GetDlgItemTextW(window, IDC_SEARCH, text, 256);
    SearchEntryList(window, text);
}

// Dropped files go below the folder the tree has chosen, else into data\.
void AddDroppedPaths(HWND window) {
    std::wstring base = L"data\\";
    if (!g_entryView.folder.empty()) {
        wchar_t* folder = GrfCp949ToWide(g_entryView.folder.c_str());
        if (folder) base = folder;
        GrfFreeBuffer(folder);
    }
    CmdAddDropped(window, TakeDroppedPaths(), base.c_str());
}

void CmdCloseArchive(HWND window) {
    if (!ConfirmUnsavedChanges(window)) return;
    GrfClose(&g_archive);
    // What the viewer shows came from the archive now closed.
    ClosePreview();
    RefreshEntryList(window);
    SetMainTitle(LoadResString(IDS_NONE));
    // What the last command said was about the archive now closed.
    SetStatusText(LoadResString(IDS_READY));
}

void RunMainCommand(HWND window, UINT command) {
    switch (command) {
        case IDC_OPEN:
            if (ConfirmUnsavedChanges(window)) CmdOpenArchive(window, OPEN_LOAD);
            break;
        case IDC_EXIT:
            if (ConfirmUnsavedChanges(window)) EndMainDialog(window);
            break;
        case IDC_SAVE:
            CmdSave(window);
            break;
        case IDC_FILTER:
            FilterEntryList(window);
            break;
        case IDC_ADD_DIR:
            CmdAddDirectory(window);
            break;
        case IDC_ADD_GRF:
            CmdOpenArchive(window, OPEN_APPEND);
            break;
        case IDC_EXTRACT:
            CmdExtractSelected(window);
            break;
        case IDC_EXTRACT_ALL:
            CmdExtractAll(window);
            break;
        case IDC_DELETE_SEL:
            CmdDeleteSelected(window);
            SetStatusText(LoadResString(IDS_READY));
            break;
        case IDC_REPACK:
            // The repack ends with its own status: "Ready", or what a cancel
            // left.
            CmdRepack(window);
            break;
        case IDC_CLOSE_GRF:
            CmdCloseArchive(window);
            break;
        case IDM_PREVIEW:
            CmdPreviewFocused(window);
            break;
        case IDM_EXTRACT:
            CmdExtractSelected(window, false);
            break;
        case IDM_EXTRACT_TO:
            CmdExtractSelected(window);
            break;
        case IDM_DELETE:
            CmdDeleteSelected(window);
            SetStatusText(LoadResString(IDS_READY));
            break;
        case IDM_COPY_NAME:
            CmdCopyNames(window);
            break;
        case IDM_ADD_DROPPED:
            AddDroppedPaths(window);
            break;
        case IDM_ASK_PASSWORD:
            CmdAskPassword(window);
            break;
        case IDM_WRITE_PASSWORD:
            CmdWritePassword(window);
            break;
        case IDM_APPLY_PATCH:
            CmdApplyPatchToFolder(window);
            break;
        case IDM_OPEN_START:
            if (!g_startArchive.empty()) CmdOpenPath(window, g_startArchive.c_str());
            g_startArchive.clear();
            break;
        default:
            if (command >= IDM_RECENT_FIRST && command <= IDM_RECENT_LAST &&
                ConfirmUnsavedChanges(window))
                CmdOpenRecent(window, command);
            break;
    }
    // Any other id (Escape's cancel command, the edit box, the drop-down
    // lists) does nothing.
    UpdateSaveButton(window);
    UpdateArchiveButtons(window);
}

}  // namespace

void UpdateArchiveButtons(HWND window) {
    if (OpenRunning()) return;  // off until the open ends
    BOOL loaded = g_archive != GRF_NO_ARCHIVE ? TRUE : FALSE;
    for (int control : ARCHIVE_BUTTONS) EnableWindow(GetDlgItem(window, control), loaded);
}

std::wstring ArchiveOnCommandLine(const wchar_t* commandLine) {
    if (!commandLine || !commandLine[0]) return L"";
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(commandLine, &count);
    std::wstring archive = arguments && count > 1 ? arguments[1] : L"";
    LocalFree(arguments);
    return archive;
}

int RunCaskwright(HINSTANCE instance, const wchar_t* commandLine) {
    g_instance = instance;
    g_startArchive = ArchiveOnCommandLine(commandLine);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    // The folder browser of Add Dir needs COM on this thread, drag and drop
    // OLE. Left initialised, each run on a new thread would keep its
    // apartment alive.
    bool ole = SUCCEEDED(OleInitialize(nullptr));
    INT_PTR result =
        DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    if (ole) OleUninitialize();
    return static_cast<int>(result);
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnMainInitDialog(window);
            break;
        case WM_COMMAND:
            // An open drop-down list is not covered by its tip.
            if (HIWORD(wParam) == CBN_DROPDOWN || HIWORD(wParam) == CBN_CLOSEUP) {
                SendMessageW(g_toolTips, TTM_POP, 0, 0);
                SendMessageW(g_toolTips, TTM_ACTIVATE, HIWORD(wParam) == CBN_CLOSEUP, 0);
                break;
            }
            if (LOWORD(wParam) == IDC_SEARCH) {
                if (HIWORD(wParam) == EN_CHANGE) OnSearchChanged(window);
                break;
            }
            OnMainCommand(window, LOWORD(wParam));
            break;
        case WM_SYSCOMMAND:
            OnMainSysCommand(window, wParam);
            break;
        case WM_CLOSE:
            // As Exit: unsaved changes are asked about first.
            OnMainCommand(window, IDC_EXIT);
            break;
        case WM_DESTROY:
            OnMainDestroy(window);
            break;
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) {
                LayOutMain(window);
                PlaceStatusParts();
                PlaceListTip(window);
                PlaceOpenCancel(window);
            }
            break;
        case WM_OPEN_ROWS:
            OnOpenRows(window, wParam, lParam);
            break;
        case WM_ENTRIES_FILLED:
            // The list shows the new filling first, then the tree its folders.
            RebuildFolderTree();
            return TRUE;
        case WM_OPEN_DONE:
            OnOpenDone(window);
            break;
        case WM_SHOWWINDOW:
            if (wParam && g_maximiseWhenShown) {
                g_maximiseWhenShown = false;
                PostMessageW(window, WM_SHOW_MAXIMISED, 0, 0);
            }
            break;
        case WM_SHOW_MAXIMISED:
            ShowWindow(window, SW_MAXIMIZE);
            if (!g_startArchive.empty()) PostMessageW(window, WM_COMMAND, IDM_OPEN_START, 0);
            break;
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) == GetDlgItem(window, IDC_ENTRY_LIST) &&
                !g_commandRunning && !OpenRunning())
                ShowRowMenu(window, reinterpret_cast<HWND>(wParam), lParam);
            break;
        case WM_GETMINMAXINFO:
            LimitMainSize(reinterpret_cast<MINMAXINFO*>(lParam));
            break;
        case WM_NOTIFY:
            return OnMainNotify(window, wParam, reinterpret_cast<NMHDR*>(lParam));
    }
    // Not handled: the dialog manager does the default work, and keeps the
    // focus where it is after initialization.
    return FALSE;
}

void OnMainCommand(HWND window, UINT command) {
    if (g_commandRunning) return;
    if (OpenRunning()) {
        // Esc and Cancel stop the open; Exit stops it and goes on.
        if (command == IDCANCEL || command == IDC_CANCEL_OPEN) CancelOpen();
        if (command != IDC_EXIT) return;
        StopOpenNow();
    }
    g_commandRunning = true;
    RunMainCommand(window, command);
    g_commandRunning = false;
}

void CreateToolTips(HWND window) {
    HWND tips =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr, g_instance, nullptr);
    SetWindowPos(tips, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(tips, TTM_SETMAXTIPWIDTH, 0, TIP_WIDTH);
    g_toolTips = tips;
    for (int row = 0; TOOL_TIPS[row].control != 0; ++row) {
        HWND control = GetDlgItem(window, TOOL_TIPS[row].control);
        TOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_SUBCLASS;
        // The list's tip shows centred below the list, not over the names
        // under the pointer.
        if (TOOL_TIPS[row].control == IDC_ENTRY_LIST) tool.uFlags |= TTF_CENTERTIP;
        tool.hwnd = control;
        tool.uId = static_cast<UINT_PTR>(row);
        GetClientRect(control, &tool.rect);
        tool.hinst = g_instance;
        tool.lpszText = LoadResString(TOOL_TIPS[row].text);
        SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}
