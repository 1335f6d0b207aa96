// failure_list.cpp -- see failure_list.h.
#include "failure_list.h"

#include "grf.h"
#include "progress.h"
#include "resource.h"
#include "services.h"

namespace {

// The reason shown for an engine code; codes not listed show their number.
struct Reason {
    uint32_t code;
    UINT text;
};

const Reason REASONS[] = {
    {GRF_ERROR_NOT_FOUND, IDS_REASON_NOT_FOUND},
    {GRF_ERROR_MEMORY, IDS_REASON_MEMORY},
    {GRF_ERROR_NOT_ARCHIVE, IDS_REASON_UNREADABLE},
    {GRF_ERROR_SEEK, IDS_REASON_UNREADABLE},
    {GRF_ERROR_READ, IDS_REASON_UNREADABLE},
    {GRF_ERROR_INFLATE, IDS_REASON_INFLATE},
    {GRF_ERROR_UNSAFE_NAME, IDS_REASON_UNSAFE_NAME},
    {GRF_ERROR_OUTPUT, IDS_REASON_OUTPUT},
    {GRF_ERROR_METHOD, IDS_REASON_METHOD},
    {GRF_ERROR_NEEDS_PASSWORD, IDS_REASON_NEEDS_PASSWORD},
    {GRF_ERROR_PASSWORD, IDS_REASON_PASSWORD},
    {GRF_ERROR_CUT_SHORT, IDS_REASON_CUT_SHORT},
};

}  // namespace

void ReasonOfCode(uint32_t code, wchar_t* reason, size_t size) {
    for (const Reason& known : REASONS) {
        if (known.code != code) continue;
        FormatText(reason, size, L"%s", LoadResString(known.text));
        return;
    }
    FormatText(reason, size, LoadResString(IDS_REASON_CODE), static_cast<int>(code));
}

void SaveListFile(HWND window, UINT title, const std::vector<std::wstring>& lines, UINT caption) {
    wchar_t heading[TEXT_BUFFER_SIZE];
    LoadStringW(g_instance, title, heading, TEXT_BUFFER_SIZE);
    const wchar_t* path = AskFileName(heading, window, LoadResString(IDS_TEXT_FILTER), 1);
    if (!path) return;
    std::string text = "\xEF\xBB\xBF";
    for (const std::wstring& line : lines) {
        int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
        if (size <= 1) continue;
        std::string utf8(size_t(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, &utf8[0], size, nullptr, nullptr);
        utf8.resize(size_t(size) - 1);
        text += utf8 + "\r\n";
    }
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool whole = file != INVALID_HANDLE_VALUE &&
                 WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) &&
                 written == text.size() && FlushFileBuffers(file);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!whole) {
        if (file != INVALID_HANDLE_VALUE) DeleteFileW(path);
        ShowProblem(window, caption, LoadResString(IDS_WRITE_ERROR), path);
    }
}
