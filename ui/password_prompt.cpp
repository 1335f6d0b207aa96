// password_prompt.cpp -- see password_prompt.h.
#include "password_prompt.h"

#include <string.h>
#include <wchar.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "entry_list.h"
#include "resource.h"
#include "services.h"

namespace {

const int CYCLE_COLUMN = 4;
const int MARK_MARGIN = 16;  // room around the mark's text in its column
const int PASSWORD_CHARS = 512;
// Records that may be keyed looked at when an archive opens: editors key
// whole archives, and looking at every record (a read each) would slow the
// open of a large one many times over.
const uint32_t KEYED_SAMPLE = 256;
// Marks remembered before the cache starts again.
const size_t MARKS_KEPT = 100000;

struct Key {
    bool set = false;
    uint8_t bytes[GRF_KEY_SIZE] = {};
};

void Forget(Key* key) {
    SecureZeroMemory(key->bytes, sizeof key->bytes);
    key->set = false;
}

// The keys of the loaded archive, as the window knows them: the engine's
// own copies cannot be read back.
struct LoadedKeys {
    GrfArchive* archive = GRF_NO_ARCHIVE;
    KeyedFind keyed = {false, 0};
    Key read;
    Key write;
};

LoadedKeys g_loaded;

// Passwords that opened an archive this session, by its path (any case).
struct RememberedKey {
    std::wstring path;
    Key key;
};

std::vector<RememberedKey> g_remembered;

// The keys a repack hands to the archive it wrote.
struct CarriedKeys {
    std::wstring path;
    Key read;
    Key write;
};

CarriedKeys g_carried;

// Whether each record checked is keyed, by table index; a record is
// checked again when its place in the file is not the one checked.
struct Mark {
    const GrfArchive* owner;
    uint64_t position;
    bool keyed;
};

std::unordered_map<uint32_t, Mark> g_marks;

bool IsLoaded() {
    return g_archive != GRF_NO_ARCHIVE && g_loaded.archive == g_archive;
}

Key* RememberedFor(const wchar_t* path) {
    for (RememberedKey& known : g_remembered)
        if (_wcsicmp(known.path.c_str(), path) == 0) return &known.key;
    return nullptr;
}

void Remember(const wchar_t* path, const Key& key) {
    Key* known = RememberedFor(path);
    if (!known) {
        g_remembered.push_back({path, Key()});
        known = &g_remembered.back().key;
    }
    *known = key;
}

// Sets key on g_archive and reads its first keyed record with it: false
// (and no key left set) when the key does not open it. A record that fails
// for another reason says nothing about the key.
bool KeyOpensArchive(const Key& key) {
    if (!GrfSetKey(g_archive, key.bytes)) return false;
    uint32_t size = 0;
    uint8_t* data = GrfReadRecord(g_archive, g_loaded.keyed.first, &size);
    uint32_t code = GrfGetLastError();
    GrfFreeBuffer(data);
    if (!data && code == GRF_ERROR_PASSWORD) {
        GrfSetKey(g_archive, nullptr);
        return false;
    }
    g_loaded.read = key;
    return true;
}

void SetWriteKey(const Key& key) {
    GrfSetWriteKey(g_archive, key.set ? key.bytes : nullptr);
    g_loaded.write = key;
}

// The cycle column is wide enough for the mark.
void FitMarkColumn(HWND window) {
    HWND list = GetDlgItem(window, IDC_ENTRY_LIST);
    int text = int(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0,
                                reinterpret_cast<LPARAM>(LoadResString(IDS_KEYED_MARK))));
    if (SendMessageW(list, LVM_GETCOLUMNWIDTH, CYCLE_COLUMN, 0) >= text + MARK_MARGIN) return;
    SendMessageW(list, LVM_SETCOLUMNWIDTH, CYCLE_COLUMN, text + MARK_MARGIN);
    FitNameColumn(window);
}

// What the password dialog asks, and what was typed.
struct Prompt {
    bool write;  // the write password: typed twice, with Clear
    std::wstring text;
    UINT caption;
    bool canClear;
    wchar_t typed[PASSWORD_CHARS];
    wchar_t again[PASSWORD_CHARS];
};

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* prompt = reinterpret_cast<Prompt*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            prompt = reinterpret_cast<Prompt*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            SetWindowTextW(dialog, LoadResString(prompt->caption));
            SetDlgItemTextW(dialog, IDC_PASSWORD_TEXT, prompt->text.c_str());
            SendDlgItemMessageW(dialog, IDC_PASSWORD_EDIT, EM_LIMITTEXT, GRF_PASSWORD_MAX, 0);
            SendDlgItemMessageW(dialog, IDC_PASSWORD_AGAIN, EM_LIMITTEXT, GRF_PASSWORD_MAX, 0);
            if (!prompt->write) {
                ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_AGAIN_LABEL), SW_HIDE);
                ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_AGAIN), SW_HIDE);
                ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_CLEAR), SW_HIDE);
                SetDlgItemTextW(dialog, IDCANCEL, LoadResString(IDS_PASSWORD_GO_ON));
            }
            EnableWindow(GetDlgItem(dialog, IDC_PASSWORD_CLEAR), prompt->canClear);
            SetFocus(GetDlgItem(dialog, IDC_PASSWORD_EDIT));
            return FALSE;  // the focus is set
        }
        case WM_COMMAND: {
            WORD id = LOWORD(wParam);
            if (id == IDOK) {
                GetDlgItemTextW(dialog, IDC_PASSWORD_EDIT, prompt->typed, PASSWORD_CHARS);
                GetDlgItemTextW(dialog, IDC_PASSWORD_AGAIN, prompt->again, PASSWORD_CHARS);
            }
            if (id == IDOK || id == IDCANCEL || id == IDC_PASSWORD_CLEAR) {
                // Nothing typed stays in the controls once the dialog goes.
                SetDlgItemTextW(dialog, IDC_PASSWORD_EDIT, L"");
                SetDlgItemTextW(dialog, IDC_PASSWORD_AGAIN, L"");
                EndDialog(dialog, id);
                return TRUE;
            }
            break;
        }
    }
    return FALSE;
}

INT_PTR AskPassword(HWND window, Prompt* prompt) {
    prompt->typed[0] = prompt->again[0] = L'\0';
    return DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_PASSWORD), window, PasswordDialogProc,
                           reinterpret_cast<LPARAM>(prompt));
}

void ForgetTyped(Prompt* prompt) {
    SecureZeroMemory(prompt->typed, sizeof prompt->typed);
    SecureZeroMemory(prompt->again, sizeof prompt->again);
}

// The password's bytes are the typed text in the system's code page, as a
// program of that code page would have taken them. Returns the length in
// bytes (-1 when the text does not convert); key is set for 4 to 256.
int KeyOfTyped(const wchar_t* typed, Key* key) {
    char bytes[GRF_PASSWORD_MAX * 2 + 1];
    int length =
        WideCharToMultiByte(CP_ACP, 0, typed, -1, bytes, sizeof bytes - 1, nullptr, nullptr);
    length = length > 0 ? length - 1 : -1;
    key->set = length > 0 && GrfKeyFromPassword(reinterpret_cast<const uint8_t*>(bytes),
                                                size_t(length), key->bytes);
    SecureZeroMemory(bytes, sizeof bytes);
    return length;
}

// Asks over window with a Retry and a Cancel; true for Retry.
bool AskRetry(HWND window, UINT caption, const wchar_t* text) {
    wchar_t title[TEXT_BUFFER_SIZE];
    LoadStringW(g_instance, caption, title, TEXT_BUFFER_SIZE);
    return MessageBoxW(window, text, title, MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY;
}

}  // namespace

bool FindKeyedRecord(GrfArchive* archive, const std::atomic<bool>* stop, KeyedFind* found) {
    found->keyed = false;
    found->first = archive->count;
    uint32_t looked = 0;
    for (uint32_t i = 0; i < archive->count && looked < KEYED_SAMPLE; ++i) {
        if (stop->load()) return true;
        const GrfEntry& entry = archive->entries[i];
        if (entry.cycle != -1 || entry.realSize == 0 || !(entry.state & GRF_ENTRY_IN_ARCHIVE))
            continue;
        ++looked;
        if (GrfIsKeyed(archive, i) == 1) {
            found->keyed = true;
            found->first = i;
            return false;
        }
    }
    return false;
}

void OnArchiveKeyed(HWND window, const wchar_t* path, const KeyedFind& found) {
    Forget(&g_loaded.read);
    Forget(&g_loaded.write);
    g_loaded.archive = g_archive;
    g_loaded.keyed = found;
    g_marks.clear();
    bool carried = _wcsicmp(g_carried.path.c_str(), path) == 0;
    if (carried && g_carried.write.set) SetWriteKey(g_carried.write);
    Key read = carried ? g_carried.read : Key();
    Forget(&g_carried.read);
    Forget(&g_carried.write);
    g_carried.path.clear();
    if (!found.keyed || found.first >= g_archive->count) return;
    FitMarkColumn(window);
    if (read.set && KeyOpensArchive(read)) {
        Remember(path, read);
        Forget(&read);
        return;
    }
    Forget(&read);
    const Key* known = RememberedFor(path);
    if (known && KeyOpensArchive(*known)) {
        SetStatusText(LoadResString(IDS_PASSWORD_ACCEPTED));
        return;
    }
    PostMessageW(window, WM_COMMAND, IDM_ASK_PASSWORD, 0);
}

void OfferPasswordFor(HWND window, uint32_t record) {
    if (g_archive == GRF_NO_ARCHIVE || record >= g_archive->count) return;
    if (!IsLoaded()) OnArchiveKeyed(window, g_archive->path, KeyedFind{false, 0});
    // Asked already (or going on without): the entry's notice says why.
    if (g_loaded.keyed.keyed || g_loaded.read.set) return;
    g_loaded.keyed = KeyedFind{true, record};
    FitMarkColumn(window);
    PostMessageW(window, WM_COMMAND, IDM_ASK_PASSWORD, 0);
}

void CmdAskPassword(HWND window) {
    if (!IsLoaded() || !g_loaded.keyed.keyed || g_loaded.read.set) return;
    auto* prompt = new Prompt();
    prompt->caption = IDS_PASSWORD_CAPTION;
    wchar_t text[TEXT_BUFFER_SIZE];
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_PASSWORD_ASK), g_archive->path);
    prompt->text = text;
    bool opened = false;
    for (;;) {
        if (AskPassword(window, prompt) != IDOK) break;
        Key key;
        int length = KeyOfTyped(prompt->typed, &key);
        ForgetTyped(prompt);
        if (!key.set) {
            FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_PASSWORD_LENGTH), length);
            if (AskRetry(window, IDS_PASSWORD_RETRY_CAPTION, text)) continue;
            break;
        }
        opened = KeyOpensArchive(key);
        if (opened) {
            Remember(g_archive->path, key);
            Forget(&key);
            break;
        }
        Forget(&key);
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_PASSWORD_WRONG), g_archive->path);
        if (!AskRetry(window, IDS_PASSWORD_WRONG_CAPTION, text)) break;
    }
    ForgetTyped(prompt);
    delete prompt;
    SetStatusText(LoadResString(opened ? IDS_PASSWORD_ACCEPTED : IDS_PASSWORD_NOT_GIVEN));
    RepaintEntryList(window);
}

void CmdWritePassword(HWND window) {
    if (g_archive == GRF_NO_ARCHIVE) return;
    if (!IsLoaded()) OnArchiveKeyed(window, g_archive->path, KeyedFind{false, 0});
    auto* prompt = new Prompt();
    prompt->write = true;
    prompt->caption = IDS_WRITE_PASSWORD_CAPTION;
    prompt->text = LoadResString(IDS_WRITE_PASSWORD_TEXT);
    prompt->canClear = g_loaded.write.set;
    for (;;) {
        INT_PTR answer = AskPassword(window, prompt);
        if (answer == IDC_PASSWORD_CLEAR) {
            SetWriteKey(Key());
            SetStatusText(LoadResString(IDS_WRITE_PASSWORD_CLEARED));
            break;
        }
        if (answer != IDOK) break;
        bool same = wcscmp(prompt->typed, prompt->again) == 0;
        Key key;
        int length = same ? KeyOfTyped(prompt->typed, &key) : 0;
        ForgetTyped(prompt);
        wchar_t text[TEXT_BUFFER_SIZE];
        if (!same) {
            FormatText(text, TEXT_BUFFER_SIZE, L"%s", LoadResString(IDS_PASSWORD_MISMATCH));
        } else if (!key.set) {
            FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_PASSWORD_LENGTH), length);
        } else {
            SetWriteKey(key);
            Forget(&key);
            SetStatusText(LoadResString(IDS_WRITE_PASSWORD_SET));
            break;
        }
        if (!AskRetry(window, IDS_PASSWORD_RETRY_CAPTION, text)) break;
    }
    ForgetTyped(prompt);
    delete prompt;
}

bool HasWritePassword() {
    return IsLoaded() && g_loaded.write.set;
}

void CarryKeysTo(const wchar_t* path) {
    g_carried.path = path;
    g_carried.read = IsLoaded() ? (g_loaded.write.set ? g_loaded.write : g_loaded.read) : Key();
    g_carried.write = IsLoaded() ? g_loaded.write : Key();
}

void MarkKeyedCell(NMLVDISPINFOW* info) {
    if (!(info->item.mask & LVIF_TEXT) || info->item.iSubItem != CYCLE_COLUMN) return;
    if (!IsLoaded() || !info->item.pszText) return;
    const GrfEntry* entry = EntryOfRow(info->item.iItem);
    const GrfEntry* table = g_archive->entries;
    if (!entry || entry < table || entry >= table + g_archive->count) return;
    uint32_t index = uint32_t(entry - table);
    auto known = g_marks.find(index);
    if (known == g_marks.end() || known->second.owner != entry->owner ||
        known->second.position != entry->position) {
        if (g_marks.size() >= MARKS_KEPT) g_marks.clear();
        Mark mark = {entry->owner, entry->position, GrfIsKeyed(g_archive, index) == 1};
        known = g_marks.insert_or_assign(index, mark).first;
    }
    if (known->second.keyed && info->item.cchTextMax > 0) {
        wcsncpy(info->item.pszText, LoadResString(IDS_KEYED_MARK),
                size_t(info->item.cchTextMax) - 1);
        info->item.pszText[info->item.cchTextMax - 1] = L'\0';
    }
}
