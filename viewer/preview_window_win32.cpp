// preview_window_win32.cpp -- the preview window: a tool window with the
// prev, next and write buttons drawn as one strip, the counter, the type
// name, and the current preview under them (a picture at its scale, a text
// view or a notice), with the tools an animation or a sprite's palettes
// need; frame and action stepping, playing, zooming, and saving the
// picture as a new bitmap, PNG or GIF file.
#include "preview_window_win32.h"

#include <commdlg.h>
#include <dlgs.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windowsx.h>

#include <string>
#include <vector>

#include "export.h"
#include "le_bytes.h"
#include "palette.h"
#include "preview_animation_win32.h"
#include "preview_bitmap_win32.h"
#include "preview_window.h"
#include "sprite.h"

PreviewSetup g_previewSetup;
HWND g_previewWindow = nullptr;

namespace {

const wchar_t PREVIEW_CLASS[] = L"CASKWRIGHT";
const int FIRST_SIZE = 64;  // the window is fitted to its picture right after
const int NAME_SIZE = 260;
const int COUNTER_SIZE = 64;
const int FILTER_SIZE = 256;  // up to three file types
const int TEXT_SIZE = 256;    // a caption, a format or a message
const COLORREF MAGENTA = RGB(255, 0, 255);

// The tools row, in client coordinates.
const int TOOL_Y = PREVIEW_PICTURE_Y + 2;
const int TOOL_HEIGHT = 22;
const int TOOL_GAP = 2;
const int ACTION_BUTTON_WIDTH = 64;
const int PLAY_BUTTON_WIDTH = 56;
const int PALETTE_LIST_WIDTH = 150;
const int PALETTE_LIST_DROPPED = 240;  // with its list open
const int NOTICE_MARGIN = 4;

// The save dialog's file types, as nFilterIndex counts them.
const DWORD SAVE_AS_BMP = 1;
const DWORD SAVE_AS_PNG = 2;
const DWORD SAVE_AS_GIF = 3;

// Made once, kept for the rest of the run.
ATOM g_previewClass = 0;
HBITMAP g_buttonStrip = nullptr;

// The entry the caption names: a name of up to 107 bytes, each at most one
// wide character.
const int ENTRY_NAME_SIZE = 128;
const int NAMED_TITLE_SIZE = ENTRY_NAME_SIZE + TEXT_SIZE;
wchar_t g_previewName[ENTRY_NAME_SIZE];

// The name the save dialog gives; cleared before each dialog.
wchar_t g_saveName[NAME_SIZE];

// The palettes offered for the current preview; g_previewImage.palette
// points into one of them while it is chosen.
struct PaletteChoice {
    std::wstring name;
    uint8_t colours[PALETTE_FILE_SIZE];
};
std::vector<PaletteChoice> g_palettes;

uint32_t g_zoom = 1;     // zoom asked for; the fit may give less
bool g_playing = false;  // an animation moves on by itself
PreviewFit g_fit = {};   // the last fit: where the content is, at what scale

// Loads one of the setup's strings into text of TEXT_SIZE characters.
void LoadSetupText(UINT id, wchar_t* text) {
    text[0] = L'\0';
    LoadStringW(g_previewSetup.instance, id, text, TEXT_SIZE);
}

void ShowFailure(HWND owner, UINT messageId) {
    wchar_t message[TEXT_SIZE];
    wchar_t caption[TEXT_SIZE];
    LoadSetupText(messageId, message);
    LoadSetupText(g_previewSetup.errorCaption, caption);
    MessageBoxW(owner, message, caption, MB_OK | MB_ICONERROR);
}

HWND Child(int id) {
    return g_previewWindow ? GetDlgItem(g_previewWindow, id) : nullptr;
}

bool ShowsAnimation() {
    return g_previewImage.type == PREVIEW_ACT && g_previewAnimation.active;
}

bool ShowsPalettes() {
    return !g_palettes.empty() && g_previewImage.bitmap &&
           (g_previewImage.type == PREVIEW_SPR || ShowsAnimation());
}

bool HasToolsRow() {
    return ShowsAnimation() || ShowsPalettes();
}

// ---------------------------------------------------------------------------
// Creation.

void RegisterPreviewClass() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = PreviewWindowProc;
    windowClass.hInstance = g_previewSetup.instance;
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    windowClass.lpszClassName = PREVIEW_CLASS;
    g_previewClass = RegisterClassW(&windowClass);
}

void LoadButtonStrip() {
    if (g_buttonStrip) return;
    g_buttonStrip = static_cast<HBITMAP>(LoadImageW(g_previewSetup.instance,
                                                    MAKEINTRESOURCEW(g_previewSetup.buttonStrip),
                                                    IMAGE_BITMAP, 0, 0, 0));
}

HWND MakeChild(HWND parent, const wchar_t* className, DWORD style, int id, UINT textId) {
    wchar_t text[TEXT_SIZE] = L"";
    if (textId) LoadSetupText(textId, text);
    HWND child = CreateWindowExW(0, className, text, WS_CHILD | style, 0, 0, 0, 0, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 g_previewSetup.instance, nullptr);
    if (child) SendMessageW(child, WM_SETFONT, WPARAM(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return child;
}

// Every control is made once with the window, hidden; each preview shows
// the ones it needs.
void CreateControls(HWND window) {
    MakeChild(window, L"BUTTON", BS_PUSHBUTTON, PREVIEW_ID_PREVIOUS_ACTION,
              g_previewSetup.previousAction);
    MakeChild(window, L"BUTTON", BS_PUSHBUTTON, PREVIEW_ID_NEXT_ACTION, g_previewSetup.nextAction);
    MakeChild(window, L"BUTTON", BS_PUSHBUTTON, PREVIEW_ID_PLAY, g_previewSetup.pause);
    MakeChild(window, L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, PREVIEW_ID_PALETTES,
              0);
    HWND text = MakeChild(window, L"EDIT",
                          ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                              ES_NOHIDESEL | WS_VSCROLL | WS_HSCROLL,
                          PREVIEW_ID_TEXT, 0);
    if (text) SendMessageW(text, EM_SETLIMITTEXT, 0, 0);  // as much as the entry holds
    MakeChild(window, L"STATIC", SS_LEFT | SS_NOPREFIX, PREVIEW_ID_NOTICE, 0);
}

// ---------------------------------------------------------------------------
// The top row: strip, counter, type name.

void DrawButtonStrip(HDC dc, HDC memory) {
    if (!g_buttonStrip) return;
    SelectObject(memory, g_buttonStrip);
    BitBlt(dc, PREVIEW_STRIP_X, PREVIEW_STRIP_Y, PREVIEW_STRIP_WIDTH, PREVIEW_STRIP_HEIGHT, memory,
           0, 0, SRCCOPY);
}

// A counter too long for its room is cut, and always terminated.
void FormatCounterOf(wchar_t* counter, uint32_t action, uint32_t actions, uint32_t frame,
                     uint32_t frames) {
    wchar_t format[TEXT_SIZE];
    int written;
    if (ShowsAnimation()) {
        LoadSetupText(g_previewSetup.actionFormat, format);
        written = _snwprintf(counter, COUNTER_SIZE - 1, format, int(action), int(actions),
                             int(frame), int(frames));
    } else {
        LoadSetupText(g_previewSetup.frameFormat, format);
        written = _snwprintf(counter, COUNTER_SIZE - 1, format, int(frame), int(frames));
    }
    counter[written < 0 ? COUNTER_SIZE - 1 : written] = L'\0';
}

// "Frame f of m", or for an animation "Action a of n, frame f of m".
void FormatCounter(wchar_t* counter) {
    if (ShowsAnimation()) {
        const PreviewAnimation& a = g_previewAnimation;
        uint32_t frames = AnimationFrameCount();
        FormatCounterOf(counter, a.action + 1, a.act.actionCount, frames ? a.frame + 1 : 0, frames);
    } else {
        FormatCounterOf(counter, 0, 0, g_previewImage.currentFrame, g_previewImage.frameCount);
    }
}

int TextWidth(HDC dc, const wchar_t* text) {
    HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SIZE extent = {};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
    SelectObject(dc, font);
    return extent.cx;
}

// The type name, and for an animation of a version newer than those known
// a word that it is read as the newest known.
void FormatType(wchar_t* text) {
    lstrcpynW(text, PreviewTypeName(g_previewImage.type), TEXT_SIZE);
    const ActFile& act = g_previewAnimation.act;
    if (!ShowsAnimation() || !ActIsNewerThanKnown(&act)) return;
    wchar_t format[TEXT_SIZE], notice[TEXT_SIZE];
    LoadSetupText(g_previewSetup.newerAct, format);
    if (!format[0]) return;
    _snwprintf(notice, TEXT_SIZE, format, act.version >> 8, act.version & 0xFF);
    notice[TEXT_SIZE - 1] = L'\0';
    size_t used = wcslen(text);
    _snwprintf(text + used, TEXT_SIZE - used, L"  %ls", notice);
    text[TEXT_SIZE - 1] = L'\0';
}

void DrawCounterAndType(HDC dc) {
    wchar_t counter[COUNTER_SIZE];
    FormatCounter(counter);
    wchar_t typeName[TEXT_SIZE];
    FormatType(typeName);
    int typeX = PreviewTypeNameX(TextWidth(dc, counter));
    HGDIOBJ font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    TextOutW(dc, PREVIEW_COUNTER_X, PREVIEW_TEXT_Y, counter, lstrlenW(counter));
    TextOutW(dc, typeX, PREVIEW_TEXT_Y, typeName, lstrlenW(typeName));
    SelectObject(dc, font);
}

// Client width the top row wants: for an animation with its counter at the
// largest numbers it shows, so that playing never needs a wider window.
int TopRowWidth(HDC dc) {
    wchar_t counter[COUNTER_SIZE];
    if (ShowsAnimation()) {
        uint32_t actions = g_previewAnimation.act.actionCount, frames = AnimationFrameCount();
        FormatCounterOf(counter, actions, actions, frames, frames);
    } else {
        FormatCounter(counter);
    }
    wchar_t typeName[TEXT_SIZE];
    FormatType(typeName);
    return PreviewTypeNameX(TextWidth(dc, counter)) + TextWidth(dc, typeName);
}

int ToolsRowWidth() {
    int width = TOOL_GAP;
    if (ShowsAnimation())
        width += 2 * (ACTION_BUTTON_WIDTH + TOOL_GAP) + PLAY_BUTTON_WIDTH + TOOL_GAP;
    if (ShowsPalettes()) width += PALETTE_LIST_WIDTH + TOOL_GAP;
    return HasToolsRow() ? width : 0;
}

// ---------------------------------------------------------------------------
// The content.

// Palettes, animations and true-colour frames are drawn whole; other
// pictures skip magenta, or for a sprite the colour of its top-left pixel. Scaled pictures are
// scaled nearest-neighbour first, so the skipped colour stays exact.
void DrawPicture(HDC dc, HDC memory) {
    HBITMAP picture = g_previewImage.bitmap;
    if (!picture) return;
    int32_t width = g_previewImage.width, height = g_previewImage.height;
    int32_t shownWidth = g_fit.shownWidth ? g_fit.shownWidth : width;
    int32_t shownHeight = g_fit.shownHeight ? g_fit.shownHeight : height;
    int32_t y = g_fit.contentY ? g_fit.contentY : PREVIEW_PICTURE_Y;
    SelectObject(memory, picture);
    if (g_previewImage.drawnWhole) {
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, 0, y, shownWidth, shownHeight, memory, 0, 0, width, height, SRCCOPY);
        return;
    }
    COLORREF skipped = g_previewImage.type == PREVIEW_SPR ? GetPixel(memory, 0, 0) : MAGENTA;
    if (shownWidth == width && shownHeight == height) {
        TransparentBlt(dc, 0, y, width, height, memory, 0, 0, width, height, skipped);
        return;
    }
    HDC scaledDc = CreateCompatibleDC(dc);
    HBITMAP scaled = CreateCompatibleBitmap(dc, shownWidth, shownHeight);
    if (scaledDc && scaled) {
        HGDIOBJ held = SelectObject(scaledDc, scaled);
        SetStretchBltMode(scaledDc, COLORONCOLOR);
        StretchBlt(scaledDc, 0, 0, shownWidth, shownHeight, memory, 0, 0, width, height, SRCCOPY);
        TransparentBlt(dc, 0, y, shownWidth, shownHeight, scaledDc, 0, 0, shownWidth, shownHeight,
                       skipped);
        SelectObject(scaledDc, held);
    }
    if (scaled) DeleteObject(scaled);
    if (scaledDc) DeleteDC(scaledDc);
}

// Everything but the child controls, drawn on dc.
void DrawWindow(HDC dc, const RECT& client) {
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    HDC memory = CreateCompatibleDC(dc);
    // A memory context starts with a stock bitmap, which goes back before
    // the context is released.
    HGDIOBJ held = GetCurrentObject(memory, OBJ_BITMAP);
    DrawButtonStrip(dc, memory);
    DrawCounterAndType(dc);
    DrawPicture(dc, memory);
    SelectObject(memory, held);
    DeleteDC(memory);
}

PreviewContent ContentNow(HDC dc) {
    PreviewContent content = {};
    content.zoom = g_zoom;
    content.toolsRow = HasToolsRow();
    int top = TopRowWidth(dc), tools = ToolsRowWidth();
    content.minimumWidth = top > tools ? top : tools;
    if (g_previewImage.bitmap) {
        content.picture = true;
        content.width = g_previewImage.width;
        content.height = g_previewImage.height;
    } else if (g_previewImage.text) {
        content.width = PREVIEW_TEXT_VIEW_WIDTH;
        content.height = PREVIEW_TEXT_VIEW_HEIGHT;
    } else {
        content.width = PREVIEW_NOTICE_WIDTH;
        content.height = PREVIEW_NOTICE_HEIGHT;
    }
    return content;
}

// The work area of the screen the window is on.
RECT WorkArea() {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    HMONITOR monitor = MonitorFromWindow(g_previewWindow, MONITOR_DEFAULTTONEAREST);
    if (!monitor || !GetMonitorInfoW(monitor, &info))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
    return info.rcWork;
}

PreviewFit FitFor(const PreviewContent& content, const RECT& work) {
    PreviewFrameMetrics metrics = {GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER),
                                   GetSystemMetrics(SM_CYSMCAPTION)};
    PreviewArea area = {work.right - work.left, work.bottom - work.top};
    return FitPreviewContent(&content, &metrics, &area);
}

void ShowChild(int id, bool shown, int x, int y, int width, int height) {
    HWND child = Child(id);
    if (!child) return;
    if (shown) SetWindowPos(child, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(child, shown ? SW_SHOWNA : SW_HIDE);
}

void PlaceControls(const PreviewFit& fit) {
    bool animation = ShowsAnimation();
    int x = TOOL_GAP;
    ShowChild(PREVIEW_ID_PREVIOUS_ACTION, animation, x, TOOL_Y, ACTION_BUTTON_WIDTH, TOOL_HEIGHT);
    if (animation) x += ACTION_BUTTON_WIDTH + TOOL_GAP;
    ShowChild(PREVIEW_ID_NEXT_ACTION, animation, x, TOOL_Y, ACTION_BUTTON_WIDTH, TOOL_HEIGHT);
    if (animation) x += ACTION_BUTTON_WIDTH + TOOL_GAP;
    ShowChild(PREVIEW_ID_PLAY, animation, x, TOOL_Y, PLAY_BUTTON_WIDTH, TOOL_HEIGHT);
    if (animation) x += PLAY_BUTTON_WIDTH + TOOL_GAP;
    ShowChild(PREVIEW_ID_PALETTES, ShowsPalettes(), x, TOOL_Y, PALETTE_LIST_WIDTH,
              PALETTE_LIST_DROPPED);
    bool text = !g_previewImage.bitmap && g_previewImage.text;
    ShowChild(PREVIEW_ID_TEXT, text, 0, fit.contentY, fit.shownWidth, fit.shownHeight);
    bool notice = !g_previewImage.bitmap && !g_previewImage.text;
    ShowChild(PREVIEW_ID_NOTICE, notice, NOTICE_MARGIN, fit.contentY + NOTICE_MARGIN,
              fit.shownWidth - 2 * NOTICE_MARGIN, fit.shownHeight - 2 * NOTICE_MARGIN);
}

// The caption says the scale of a picture not shown at 100%.
void SetCaption(const PreviewFit& fit) {
    wchar_t title[TEXT_SIZE];
    if (!g_previewImage.bitmap || fit.percent == 100) {
        LoadSetupText(g_previewSetup.title, title);
    } else {
        wchar_t format[TEXT_SIZE];
        LoadSetupText(g_previewSetup.scaledTitle, format);
        int written = _snwprintf(title, TEXT_SIZE - 1, format, int(fit.percent));
        title[written < 0 ? TEXT_SIZE - 1 : written] = L'\0';
    }
    if (g_previewName[0]) {
        // The entry first: a caption cut short still names it.
        wchar_t named[NAMED_TITLE_SIZE];
        int written = _snwprintf(named, NAMED_TITLE_SIZE - 1, L"%ls - %ls", g_previewName, title);
        named[written < 0 ? NAMED_TITLE_SIZE - 1 : written] = L'\0';
        wchar_t now[NAMED_TITLE_SIZE] = L"";
        GetWindowTextW(g_previewWindow, now, NAMED_TITLE_SIZE);
        if (wcscmp(now, named) != 0) SetWindowTextW(g_previewWindow, named);
        return;
    }
    wchar_t now[TEXT_SIZE] = L"";
    GetWindowTextW(g_previewWindow, now, TEXT_SIZE);
    if (wcscmp(now, title) != 0) SetWindowTextW(g_previewWindow, title);
}

// Moves the window only as far as needed to have it on the work area.
void KeepOnWorkArea(const RECT& work) {
    RECT rect;
    if (!GetWindowRect(g_previewWindow, &rect)) return;
    LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
    LONG x = rect.left, y = rect.top;
    if (x + width > work.right) x = work.right - width;
    if (x < work.left) x = work.left;
    if (y + height > work.bottom) y = work.bottom - height;
    if (y < work.top) y = work.top;
    if (x != rect.left || y != rect.top)
        SetWindowPos(g_previewWindow, nullptr, x, y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------------------
// Frames, actions, playing, palettes, zoom.

void Repaint(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
}

void ShowFrame(HWND window) {
    DecodeSprPreview();
    FitPreviewWindow();
    Repaint(window);
}

void RestartTimer(HWND window) {
    KillTimer(window, PREVIEW_ANIMATION_TIMER);
    if (!g_playing || !ShowsAnimation() || AnimationFrameCount() < 2) return;
    const PreviewAnimation& a = g_previewAnimation;
    SetTimer(window, PREVIEW_ANIMATION_TIMER, ActFrameDelayMs(&a.act.actions[a.action]), nullptr);
}

void SetPlaying(HWND window, bool playing) {
    g_playing = playing;
    wchar_t text[TEXT_SIZE];
    LoadSetupText(playing ? g_previewSetup.pause : g_previewSetup.play, text);
    if (HWND button = Child(PREVIEW_ID_PLAY)) SetWindowTextW(button, text);
    RestartTimer(window);
}

void OnAnimationTimer(HWND window) {
    uint32_t frames = AnimationFrameCount();
    if (!g_playing || frames < 2) return;
    PreviewAnimation& a = g_previewAnimation;
    a.frame = (a.frame + 1) % frames;
    ShowAnimationFrame();
    Repaint(window);
}

// Prev and next on an animation pause it and step within the action.
void StepAnimationFrame(HWND window, int step) {
    SetPlaying(window, false);
    PreviewAnimation& a = g_previewAnimation;
    uint32_t frames = AnimationFrameCount();
    if (step < 0 && a.frame > 0) {
        a.frame -= 1;
    } else if (step > 0 && a.frame + 1 < frames) {
        a.frame += 1;
    } else {
        return;
    }
    ShowAnimationFrame();
    Repaint(window);
}

void StepAction(HWND window, int step) {
    const PreviewAnimation& a = g_previewAnimation;
    if (!ShowsAnimation()) return;
    if (step < 0 && a.action > 0) {
        ShowAnimationAction(a.action - 1);
    } else if (step > 0 && a.action + 1 < a.act.actionCount) {
        ShowAnimationAction(a.action + 1);
    } else {
        return;
    }
    RestartTimer(window);
    FitPreviewWindow();
    Repaint(window);
}

void StepSpriteFrame(HWND window, int step) {
    if (step < 0 && g_previewImage.currentFrame > 1) {
        g_previewImage.currentFrame -= 1;
        ShowFrame(window);
    } else if (step > 0 && g_previewImage.currentFrame < g_previewImage.frameCount) {
        g_previewImage.currentFrame += 1;
        ShowFrame(window);
    }
}

void ChoosePalette(HWND window) {
    LRESULT chosen = SendMessageW(Child(PREVIEW_ID_PALETTES), CB_GETCURSEL, 0, 0);
    bool own = chosen <= 0 || size_t(chosen) > g_palettes.size();
    g_previewImage.palette = own ? nullptr : g_palettes[size_t(chosen) - 1].colours;
    if (ShowsAnimation())
        ShowAnimationFrame();
    else if (g_previewImage.type == PREVIEW_SPR)
        DecodeSprPreview();
    Repaint(window);
}

void FillPaletteList() {
    HWND list = Child(PREVIEW_ID_PALETTES);
    if (!list) return;
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    wchar_t own[TEXT_SIZE];
    LoadSetupText(g_previewSetup.ownPalette, own);
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(own));
    for (const PaletteChoice& palette : g_palettes)
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(palette.name.c_str()));
    SendMessageW(list, CB_SETCURSEL, 0, 0);
}

void KeepPalettes(const PreviewPaletteFile* palettes, uint32_t count) {
    g_palettes.clear();
    for (uint32_t i = 0; palettes && i < count; ++i) {
        if (!palettes[i].name || !palettes[i].colours) continue;
        PaletteChoice choice;
        choice.name = palettes[i].name;
        memcpy(choice.colours, palettes[i].colours, PALETTE_FILE_SIZE);
        g_palettes.push_back(choice);
    }
}

void SetNotice() {
    static const PreviewNotice kNotices[] = {
        PREVIEW_NOTICE_UNKNOWN,       PREVIEW_NOTICE_DAMAGED,      PREVIEW_NOTICE_UNREADABLE,
        PREVIEW_NOTICE_NO_SPRITE,     PREVIEW_NOTICE_COMPILED_LUA, PREVIEW_NOTICE_NEEDS_PASSWORD,
        PREVIEW_NOTICE_WRONG_PASSWORD};
    const UINT ids[] = {g_previewSetup.unknownNotice,      g_previewSetup.damagedNotice,
                        g_previewSetup.unreadableNotice,   g_previewSetup.noSpriteNotice,
                        g_previewSetup.compiledLuaNotice,  g_previewSetup.needsPasswordNotice,
                        g_previewSetup.wrongPasswordNotice};
    wchar_t text[TEXT_SIZE] = L"";
    for (size_t i = 0; i < sizeof kNotices / sizeof kNotices[0]; ++i)
        if (g_previewImage.notice == kNotices[i]) LoadSetupText(ids[i], text);
    SetWindowTextW(Child(PREVIEW_ID_NOTICE), text);
}

// Whole steps in, while the window still fits; back down to 1.
void Zoom(HWND window, int step) {
    if (!g_previewImage.bitmap) return;
    if (step > 0) {
        HDC dc = GetDC(window);
        PreviewContent content = ContentNow(dc);
        ReleaseDC(window, dc);
        content.zoom = g_zoom + 1;
        if (FitFor(content, WorkArea()).percent <= g_fit.percent) return;
        g_zoom += 1;
    } else {
        if (g_zoom <= 1) return;
        g_zoom -= 1;
    }
    FitPreviewWindow();
    Repaint(window);
}

// ---------------------------------------------------------------------------
// Messages.

void OnPreviewPress(HWND window, LPARAM position) {
    PreviewButton button = PreviewButtonAt(GET_X_LPARAM(position), GET_Y_LPARAM(position));
    if (button == PREVIEW_BUTTON_WRITE) {
        SavePreview(window);
        return;
    }
    if (button == PREVIEW_BUTTON_NONE) return;
    int step = button == PREVIEW_BUTTON_PREV ? -1 : 1;
    if (ShowsAnimation())
        StepAnimationFrame(window, step);
    else if (g_previewImage.type == PREVIEW_SPR)
        StepSpriteFrame(window, step);
}

void OnPreviewCommand(HWND window, int id, int code) {
    switch (id) {
        case PREVIEW_ID_PREVIOUS_ACTION:
            StepAction(window, -1);
            break;
        case PREVIEW_ID_NEXT_ACTION:
            StepAction(window, 1);
            break;
        case PREVIEW_ID_PLAY:
            if (ShowsAnimation()) SetPlaying(window, !g_playing);
            break;
        case PREVIEW_ID_PALETTES:
            // The list keeps the focus: arrow keys go through the palettes.
            if (code == CBN_SELCHANGE) ChoosePalette(window);
            return;
        default:
            return;
    }
    SetFocus(window);  // so that + and - zoom again
}

bool OnPreviewKey(HWND window, WPARAM key) {
    switch (key) {
        case VK_ADD:
        case VK_OEM_PLUS:
            Zoom(window, 1);
            return true;
        case VK_SUBTRACT:
        case VK_OEM_MINUS:
            Zoom(window, -1);
            return true;
        case VK_ESCAPE:
            DestroyWindow(window);
            return true;
    }
    return false;
}

// Notices and the read-only text view on the window's own background.
LRESULT OnStaticColour(HDC dc) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

void OnPreviewDestroy(HWND window) {
    if (g_previewWindow == window) g_previewWindow = nullptr;
}

// ---------------------------------------------------------------------------
// Saving.

// Bit depths of 8 or less would need a colour table after the header, which
// the packed block has no room for: such screens save at 24 bits.
WORD SavedBitCount(const BITMAP& shape) {
    WORD bits = static_cast<WORD>(shape.bmPlanes * shape.bmBitsPixel);
    return bits <= 8 ? 24 : bits;
}

// Bytes of the rows the header describes: the size the platform put in
// it, or else the rows at a 4-byte stride.
uint64_t ImageSize(const BITMAPINFOHEADER& header) {
    if (header.biSizeImage != 0) return header.biSizeImage;
    uint64_t stride = ((uint64_t(header.biBitCount) * uint64_t(header.biWidth) + 31) & ~31ull) / 8;
    return stride * uint64_t(header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight);
}

// Grows the block from its header to the header and the image; frees it and
// returns null when that cannot be done.
HGLOBAL GrowForImage(HGLOBAL block, uint64_t image) {
    uint64_t total = sizeof(BITMAPINFOHEADER) + image;
    HGLOBAL grown =
        total <= UINT32_MAX ? GlobalReAlloc(block, SIZE_T(total), GMEM_MOVEABLE) : nullptr;
    if (!grown) GlobalFree(block);
    return grown;
}

// Appends one file type (description, NUL, pattern) and its NUL to filter;
// the zeros after it end the list.
void AppendFileType(wchar_t* filter, int* used, UINT id) {
    int room = FILTER_SIZE - *used - 2;
    if (room <= 1) return;
    int length = LoadStringW(g_previewSetup.instance, id, filter + *used, room);
    if (length > 0) *used += length + 1;
}

// The picture as shown, every pixel opaque.
bool BitmapToRgba(HBITMAP bitmap, RgbaPicture* out) {
    BITMAP shape;
    if (!bitmap || GetObjectW(bitmap, sizeof(shape), &shape) == 0) return false;
    if (!MakeRgbaPicture(shape.bmWidth, shape.bmHeight, out)) return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = shape.bmWidth;
    info.bmiHeader.biHeight = -shape.bmHeight;  // top row first, as the picture
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    int rows =
        GetDIBits(screen, bitmap, 0, UINT(shape.bmHeight), out->pixels, &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != shape.bmHeight) {
        FreeRgbaPicture(out);
        return false;
    }
    uint8_t* p = out->pixels;
    for (size_t i = 0; i < size_t(shape.bmWidth) * size_t(shape.bmHeight); ++i, p += 4) {
        uint8_t blue = p[0];
        p[0] = p[2];
        p[2] = blue;
        p[3] = 255;
    }
    return true;
}

// The frame shown: composed for an animation, the sprite's image with its
// transparency, or else the picture as it is.
bool CurrentFrame(RgbaPicture* out) {
    if (ShowsAnimation() && ComposeAnimationFrame(out)) return true;
    if (g_previewImage.type == PREVIEW_SPR) {
        SprSheet sheet;
        if (OpenSprSheet(g_previewImage.data, g_previewImage.size, &sheet)) {
            bool decoded = DecodeSprImage(&sheet, g_previewImage.currentFrame - 1,
                                          g_previewImage.palette, out);
            CloseSprSheet(&sheet);
            if (decoded) return true;
        }
    }
    return BitmapToRgba(g_previewImage.bitmap, out);
}

void SaveBmp(HWND window) {
    HGLOBAL block = BitmapToPackedDib(g_previewImage.bitmap);
    if (!block) {
        ShowFailure(window, g_previewSetup.saveFailed);
        return;
    }
    WriteBmpFile(g_saveName, block, window);
    GlobalFree(block);
}

void SaveEncoded(HWND window, DWORD type) {
    uint8_t* bytes = nullptr;
    size_t size = 0;
    bool encoded = false;
    if (type == SAVE_AS_GIF) {
        const PreviewAnimation& a = g_previewAnimation;
        encoded = ShowsAnimation() && ExportActionGif(&a.act, &a.sprite, g_previewImage.palette,
                                                      a.action, &bytes, &size);
    } else {
        RgbaPicture frame;
        encoded = CurrentFrame(&frame) && EncodePng(&frame, &bytes, &size);
        FreeRgbaPicture(&frame);
    }
    bool written = encoded && WriteExportFile(g_saveName, bytes, size, false);
    free(bytes);
    if (!written) ShowFailure(window, g_previewSetup.exportFailed);
}

}  // namespace

// ---------------------------------------------------------------------------

void ShowPreviewWindow(void) {
    if (g_previewWindow) {
        ShowWindow(g_previewWindow, SW_SHOW);
        InvalidateRect(g_previewWindow, nullptr, TRUE);
        return;
    }
    if (!g_previewClass) RegisterPreviewClass();
    wchar_t title[TEXT_SIZE];
    LoadSetupText(g_previewSetup.title, title);
    g_previewWindow =
        CreateWindowExW(WS_EX_TOOLWINDOW, PREVIEW_CLASS, title,
                        WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                        FIRST_SIZE, FIRST_SIZE, nullptr, nullptr, g_previewSetup.instance, nullptr);
}

void SetPreviewName(const wchar_t* name) {
    g_previewName[0] = L'\0';
    if (name) wcsncpy(g_previewName, name, ENTRY_NAME_SIZE - 1);
    g_previewName[ENTRY_NAME_SIZE - 1] = L'\0';
}

void PresentPreview(const PreviewPaletteFile* palettes, uint32_t count) {
    g_zoom = 1;
    KeepPalettes(palettes, count);
    if (!g_previewWindow) return;
    FillPaletteList();
    SetWindowTextW(Child(PREVIEW_ID_TEXT), g_previewImage.text ? g_previewImage.text : L"");
    SetNotice();
    SetPlaying(g_previewWindow, ShowsAnimation());
}

void FitPreviewWindow(void) {
    if (!g_previewWindow) return;
    HDC dc = GetDC(g_previewWindow);
    PreviewContent content = ContentNow(dc);
    ReleaseDC(g_previewWindow, dc);
    RECT work = WorkArea();
    PreviewFit fit = FitFor(content, work);
    // A zoom the screen has no room for is not kept for later.
    if (content.picture && fit.percent >= 100) g_zoom = fit.percent / 100;
    g_fit = fit;
    PlaceControls(fit);
    SetCaption(fit);
    SetWindowPos(g_previewWindow, HWND_TOP, 0, 0, fit.window.width, fit.window.height,
                 SWP_NOMOVE | SWP_NOACTIVATE);
    KeepOnWorkArea(work);
    ShowWindow(g_previewWindow, SW_SHOW);
}

LRESULT CALLBACK PreviewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            LoadButtonStrip();
            CreateControls(window);
            return 0;
        case WM_PAINT:
            return PaintPreview(window);
        case WM_ERASEBKGND:
            return 1;  // painting covers the whole client area
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            OnPreviewDestroy(window);
            return 0;
        case WM_LBUTTONDOWN:
            OnPreviewPress(window, lParam);
            return 0;
        case WM_COMMAND:
            OnPreviewCommand(window, LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == PREVIEW_ANIMATION_TIMER) OnAnimationTimer(window);
            return 0;
        case WM_MOUSEWHEEL:
            Zoom(window, GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? 1 : -1);
            return 0;
        case WM_KEYDOWN:
            if (OnPreviewKey(window, wParam)) return 0;
            break;
        case WM_CTLCOLORSTATIC:
            return OnStaticColour(reinterpret_cast<HDC>(wParam));
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT PaintPreview(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    // Drawn off screen first and copied in one step: a playing animation
    // does not flicker.
    HDC buffer = CreateCompatibleDC(dc);
    HBITMAP pixels = buffer ? CreateCompatibleBitmap(dc, client.right, client.bottom) : nullptr;
    if (pixels) {
        HGDIOBJ held = SelectObject(buffer, pixels);
        DrawWindow(buffer, client);
        BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
        SelectObject(buffer, held);
        DeleteObject(pixels);
    } else {
        DrawWindow(dc, client);
    }
    if (buffer) DeleteDC(buffer);
    EndPaint(window, &paint);
    return 0;
}

// A name typed without an extension gets the chosen type's.
void AddMissingExtension(DWORD type) {
    const wchar_t* name = wcsrchr(g_saveName, L'\\');
    name = name ? name + 1 : g_saveName;
    if (wcschr(name, L'.')) return;
    const wchar_t* extension =
        type == SAVE_AS_PNG ? L".png" : (type == SAVE_AS_GIF ? L".gif" : L".bmp");
    if (wcslen(g_saveName) + wcslen(extension) < NAME_SIZE) wcscat(g_saveName, extension);
}

// The type a name's extension asks for (png, bmp, gif; any case), or 0 for
// another or none. gif only while an animation shows: a still picture has
// no GIF type.
DWORD TypeOfExtension(const wchar_t* name) {
    const wchar_t* base = wcsrchr(name, L'\\');
    base = base ? base + 1 : name;
    const wchar_t* dot = wcsrchr(base, L'.');
    if (!dot) return 0;
    if (_wcsicmp(dot, L".png") == 0) return SAVE_AS_PNG;
    if (_wcsicmp(dot, L".bmp") == 0) return SAVE_AS_BMP;
    if (_wcsicmp(dot, L".gif") == 0 && ShowsAnimation()) return SAVE_AS_GIF;
    return 0;
}

const UINT_PTR FOLLOW_TIMER = 1;
const UINT FOLLOW_EVERY_MS = 150;

// The save dialog's type list follows the extension typed in its name box:
// looked at a few times a second, as the box tells the hook nothing.
void FollowTypedExtension(HWND dialog) {
    wchar_t name[NAME_SIZE] = L"";
    if (!GetDlgItemTextW(dialog, cmb13, name, NAME_SIZE))
        GetDlgItemTextW(dialog, edt1, name, NAME_SIZE);
    DWORD type = TypeOfExtension(name);
    HWND types = GetDlgItem(dialog, cmb1);
    if (!type || !types) return;
    LRESULT index = static_cast<LRESULT>(type) - 1;
    if (SendMessageW(types, CB_GETCURSEL, 0, 0) == index) return;
    SendMessageW(types, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(types));
}

UINT_PTR CALLBACK SaveDialogHook(HWND hook, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) SetTimer(hook, FOLLOW_TIMER, FOLLOW_EVERY_MS, nullptr);
    if (message == WM_TIMER && wParam == FOLLOW_TIMER) FollowTypedExtension(GetParent(hook));
    if (message == WM_DESTROY) KillTimer(hook, FOLLOW_TIMER);
    return 0;
}

void SavePreview(HWND window) {
    if (!g_previewImage.bitmap) return;
    wmemset(g_saveName, L'\0', NAME_SIZE);
    // Each type's description, a NUL, its pattern and a NUL; zeros end it.
    wchar_t filter[FILTER_SIZE] = {};
    int used = 0;
    AppendFileType(filter, &used, g_previewSetup.bmpFilter);
    AppendFileType(filter, &used, g_previewSetup.pngFilter);
    if (ShowsAnimation()) AppendFileType(filter, &used, g_previewSetup.gifFilter);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = window;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = SAVE_AS_BMP;
    dialog.lpstrFile = g_saveName;
    dialog.nMaxFile = NAME_SIZE;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_ENABLEHOOK;
    dialog.lpfnHook = SaveDialogHook;
    if (!GetSaveFileNameW(&dialog)) return;
    AddMissingExtension(dialog.nFilterIndex);
    // The extension typed wins over the type list: x.png is a PNG whatever
    // the list showed when OK was pressed.
    DWORD type = TypeOfExtension(g_saveName);
    if (!type) type = dialog.nFilterIndex;

    // The main window stays usable while the dialog is up: another row may
    // have replaced the picture, or left none.
    if (!g_previewImage.bitmap) return;
    if (type == SAVE_AS_PNG || type == SAVE_AS_GIF)
        SaveEncoded(window, type);
    else
        SaveBmp(window);
}

HGLOBAL BitmapToPackedDib(HBITMAP bitmap) {
    BITMAP shape;
    if (!bitmap || GetObjectW(bitmap, sizeof(shape), &shape) == 0) return nullptr;
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = shape.bmWidth;
    header.biHeight = shape.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = SavedBitCount(shape);
    header.biCompression = BI_RGB;
    UINT rows = static_cast<UINT>(shape.bmHeight);

    HDC screen = GetDC(nullptr);
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, sizeof(header));
    if (block) {
        auto* info = static_cast<BITMAPINFO*>(GlobalLock(block));
        memcpy(info, &header, sizeof(header));
        // Without a pixel buffer the platform only completes the header.
        GetDIBits(screen, bitmap, 0, rows, nullptr, info, DIB_RGB_COLORS);
        uint64_t image = ImageSize(info->bmiHeader);
        GlobalUnlock(block);
        block = GrowForImage(block, image);
    }
    if (block) {
        auto* info = static_cast<BITMAPINFO*>(GlobalLock(block));
        uint8_t* pixels = reinterpret_cast<uint8_t*>(info) + info->bmiHeader.biSize;
        int read = GetDIBits(screen, bitmap, 0, rows, pixels, info, DIB_RGB_COLORS);
        GlobalUnlock(block);
        if (read == 0) {
            GlobalFree(block);
            block = nullptr;
        }
    }
    ReleaseDC(nullptr, screen);
    return block;
}

void WriteBmpFile(const wchar_t* path, HGLOBAL block, HWND owner) {
    SIZE_T blockSize = GlobalSize(block);
    uint64_t total = uint64_t(BMP_FILE_HEADER_SIZE) + blockSize;
    uint8_t* file = total <= UINT32_MAX ? static_cast<uint8_t*>(malloc(size_t(total))) : nullptr;
    bool written = false;
    if (file) {
        const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
        PutBmpFileHeader(file, static_cast<uint32_t>(blockSize), GetLe32(bytes));
        memcpy(file + BMP_FILE_HEADER_SIZE, bytes, blockSize);
        GlobalUnlock(block);
        // A new file only, whole or not at all: never one cut short.
        written = WriteExportFile(path, file, size_t(total), false);
        free(file);
    }
    if (!written) ShowFailure(owner, g_previewSetup.saveFailed);
}
