// extraction.cpp -- see extraction.h.
#include "extraction.h"

#include <wchar.h>

#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "commands.h"
#include "failure_list.h"
#include "folder_browser.h"
#include "progress.h"
#include "resource.h"
#include "services.h"
#include "settings.h"

wchar_t g_extractFolder[PATH_SIZE];

namespace {

// Failures named in the closing box; the rest are counted.
const uint32_t FAILURES_NAMED = 5;
const int FAILURE_LINES_SIZE = 1600;

// Answers of the replace prompt: its button ids.
const INT_PTR REPLACE_YES = IDYES;
const INT_PTR REPLACE_ALL = IDC_YES_TO_ALL;
const INT_PTR REPLACE_NO = IDNO;
const INT_PTR KEEP_ALL = IDC_NO_TO_ALL;

struct ExtractionRun {
    GrfArchive* archive;
    const uint32_t* indices;  // null: every record in table order
    uint32_t count;
    wchar_t folder[PATH_SIZE];
    uint32_t extracted;
    uint32_t failed;
    uint32_t duplicates;  // records kept off an earlier one's file
    bool replaceAll;      // "Yes to All" was answered
    bool keepAll;         // "No to All" was answered
    bool cancelled;       // the user stopped the run
    bool changed;         // an archive file changed on disk: the run stopped
    wchar_t changedPath[GRF_PATH_SIZE];
    wchar_t failureLines[FAILURE_LINES_SIZE];
    std::vector<std::wstring> failures;  // every failure's line, for the saved list
    // Files this run wrote, as Windows compares names. Such a file is there
    // because of the run, not before it: the engine keeps it (a duplicate),
    // so there is nothing to ask.
    std::unordered_set<std::wstring> written;
};

// How Windows tells two of the run's files apart: components between "\\"
// or "/", none empty or ".", without regard to case (as the engine's run
// compares them).
std::wstring FileKey(const wchar_t* fileName) {
    std::wstring key;
    for (const wchar_t* at = fileName; *at;) {
        const wchar_t* end = at;
        while (*end && *end != L'\\' && *end != L'/') ++end;
        std::wstring part(at, end);
        if (!part.empty() && part != L".") {
            if (!key.empty()) key += L'\\';
            key += part;
        }
        at = *end ? end + 1 : end;
    }
    if (!key.empty()) CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

// Whether the folder lists a file of that name. A listing, not the file's
// attributes: those answer for device names too (NUL, CON), which no folder
// holds and the engine refuses to write. Wildcards name no file.
bool IsExistingFile(const wchar_t* fileName) {
    if (wcspbrk(fileName, L"*?")) return false;
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(fileName, &found);
    if (listing == INVALID_HANDLE_VALUE) return false;
    FindClose(listing);
    return !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

INT_PTR CALLBACK ReplaceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetDlgItemTextW(dialog, IDC_REPLACE_TEXT, reinterpret_cast<const wchar_t*>(lParam));
            return TRUE;
        case WM_COMMAND: {
            WORD id = LOWORD(wParam);
            // Escape and the close box answer Cancel.
            if (id == IDYES || id == IDC_YES_TO_ALL || id == IDNO || id == IDC_NO_TO_ALL ||
                id == IDCANCEL) {
                EndDialog(dialog, id);
                return TRUE;
            }
            break;
        }
    }
    return FALSE;
}

// Asks whether fileName, which is in the target folder already, is to be
// replaced; returns the button pressed.
INT_PTR AskReplace(const ExtractionRun& run, const wchar_t* fileName) {
    wchar_t text[TEXT_BUFFER_SIZE];
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_REPLACE_TEXT), fileName, run.folder);
    // Over the progress window, which it keeps from being used meanwhile.
    HWND owner = g_progressWindow ? g_progressWindow : g_mainWindow;
    return DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_REPLACE), owner, ReplaceDialogProc,
                           reinterpret_cast<LPARAM>(text));
}

// Appends separator to text of size characters unless text is empty, so
// that what is appended next starts a new line or paragraph.
void AppendLine(wchar_t* text, size_t size, const wchar_t* separator) {
    size_t used = wcslen(text);
    if (used > 0) FormatText(text + used, size - used, L"%s", separator);
}

void ReasonOf(const GrfEntry& entry, uint32_t code, wchar_t* reason, size_t size) {
    // The engine says "not found" for a record without an owner: say why.
    if (!entry.owner) {
        FormatText(reason, size, L"%s", LoadResString(IDS_REASON_NO_ARCHIVE));
        return;
    }
    ReasonOfCode(code, reason, size);
}

void NoteFailure(ExtractionRun* run, const GrfEntry& entry, const wchar_t* fileName,
                 uint32_t code) {
    run->failed += 1;
    wchar_t reason[TEXT_BUFFER_SIZE];
    ReasonOf(entry, code, reason, TEXT_BUFFER_SIZE);
    wchar_t line[TEXT_BUFFER_SIZE];
    FormatText(line, TEXT_BUFFER_SIZE, LoadResString(IDS_FAILURE_LINE), fileName, reason);
    run->failures.push_back(line);
    if (run->failed > FAILURES_NAMED) return;
    AppendLine(run->failureLines, FAILURE_LINES_SIZE, L"\n");
    size_t used = wcslen(run->failureLines);
    FormatText(run->failureLines + used, FAILURE_LINES_SIZE - used, LoadResString(IDS_FAILURE_LINE),
               fileName, reason);
}

void NoteChanged(ExtractionRun* run, const GrfEntry& entry) {
    run->changed = true;
    // Copied: the archive that holds the path may be closed before it is used.
    wcsncpy(run->changedPath, entry.owner ? entry.owner->path : run->archive->path,
            GRF_PATH_SIZE - 1);
    run->changedPath[GRF_PATH_SIZE - 1] = L'\0';
}

// Records handed to the engine at once: enough to keep every core busy, few
// enough that the replace questions come close to the files they are about.
const uint32_t BATCH_RECORDS = 1024;

// Records the engine extracts together, each with its step in the run, its
// file name and the key of that name.
struct Batch {
    std::vector<uint32_t> indices;
    std::vector<uint32_t> steps;
    std::vector<std::wstring> fileNames;
    std::vector<std::wstring> keys;
    std::unordered_set<std::wstring> planned;
};

// The run and batch the engine's progress calls are about.
const ExtractionRun* g_progressRun;
const Batch* g_progressBatch;

int32_t BatchProgress(GrfEntry* entry, uint32_t settled, uint32_t /*total*/) {
    return ShowEntryProgress(entry, g_progressBatch->steps[settled - 1] + 1, g_progressRun->count);
}

// What planning a step asks of the run.
enum Plan {
    PLAN_NEXT,         // go on with the next step
    PLAN_FLUSH_FIRST,  // extract the batch, then plan this step again
    PLAN_END_BATCH,    // extract the batch now, ending with this step
    PLAN_STOP,         // Cancel
};

// Puts the run's record at step in the batch, asking first when its file is
// there already (and no earlier record of the run or batch writes it). A
// question waits until the records before it are extracted, and the record
// it asked about is extracted before anything after it, as one by one.
Plan PlanStep(ExtractionRun* run, uint32_t step, Batch* batch) {
    uint32_t index = run->indices ? run->indices[step] : step;
    if (index >= run->archive->count) return PLAN_NEXT;
    GrfEntry& entry = run->archive->entries[index];
    if (entry.state & GRF_ENTRY_REMOVAL) return PLAN_NEXT;  // a patch's removal: no file
    wchar_t* fileName = GrfFileName(entry.name);
    if (!fileName) {
        NoteFailure(run, entry, L"", GRF_ERROR_MEMORY);
        return PLAN_NEXT;
    }
    std::wstring key = FileKey(fileName);
    Plan plan = PLAN_NEXT;
    INT_PTR answer = REPLACE_YES;
    if (run->written.count(key)) {
        // An earlier batch wrote that file: the first stays.
        run->duplicates += 1;
        answer = REPLACE_NO;
    } else if (!run->replaceAll && !batch->planned.count(key) && IsExistingFile(fileName)) {
        if (run->keepAll) {
            GrfFreeBuffer(fileName);
            return PLAN_NEXT;
        }
        if (!batch->indices.empty()) {
            GrfFreeBuffer(fileName);
            return PLAN_FLUSH_FIRST;
        }
        answer = AskReplace(*run, fileName);
        if (answer == REPLACE_ALL) run->replaceAll = true;
        if (answer == KEEP_ALL) {
            run->keepAll = true;
            answer = REPLACE_NO;
        }
        plan = answer == IDCANCEL ? PLAN_STOP : PLAN_END_BATCH;
    }
    if (answer == REPLACE_YES || answer == REPLACE_ALL) {
        batch->indices.push_back(index);
        batch->steps.push_back(step);
        batch->fileNames.push_back(fileName);
        batch->keys.push_back(key);
        batch->planned.insert(key);
    }
    GrfFreeBuffer(fileName);
    return plan;
}

// Extracts the batch on every core and notes each record's outcome.
// Returns false when the run is to stop.
bool ExtractBatch(ExtractionRun* run, const Batch& batch) {
    uint32_t count = static_cast<uint32_t>(batch.indices.size());
    std::vector<uint32_t> results(count, GRF_ERROR_CANCELLED);
    g_progressRun = run;
    g_progressBatch = &batch;
    GrfExtractRecords(run->archive, batch.indices.data(), count, 0, BatchProgress, results.data());
    bool goOn = GrfLastError != GRF_ERROR_CANCELLED;
    for (uint32_t i = 0; i < count; ++i) {
        const GrfEntry& entry = run->archive->entries[batch.indices[i]];
        uint32_t code = results[i];
        if (code == GRF_OK) {
            run->extracted += 1;
            run->written.insert(batch.keys[i]);
        } else if (code == GRF_ERROR_CHANGED) {
            // Every later record of that file would fail the same way.
            if (!run->changed) NoteChanged(run, entry);
            goOn = false;
        } else if (code == GRF_ERROR_DUPLICATE) {
            run->duplicates += 1;
        } else if (code != GRF_ERROR_CANCELLED) {
            NoteFailure(run, entry, batch.fileNames[i].c_str(), code);
        }
    }
    return goOn;
}

void ExtractSteps(ExtractionRun* run) {
    HWND progress = CreateProgressWindow(LoadResString(IDS_UNPACKING));
    SetStatusText(LoadResString(IDS_UNPACKING));
    bool goOn = true;
    for (uint32_t step = 0; goOn && step < run->count;) {
        Batch batch;
        Plan plan = PLAN_NEXT;
        while (plan == PLAN_NEXT && step < run->count && batch.indices.size() < BATCH_RECORDS) {
            plan = PlanStep(run, step, &batch);
            if (plan != PLAN_FLUSH_FIRST) ++step;
        }
        if (plan == PLAN_STOP) goOn = false;
        if (!batch.indices.empty() && !ExtractBatch(run, batch)) goOn = false;
        if (!g_progressWindow) goOn = false;  // Cancel closed it
        if (plan == PLAN_STOP || !g_progressWindow) run->cancelled = true;
    }
    CloseProgressWindow(progress);
}

// "N files extracted to FOLDER", "1 file", and "(cancelled)" after Cancel.
void ShowExtracted(const ExtractionRun& run) {
    UINT format = run.extracted == 1 ? IDS_EXTRACTED_ONE : IDS_EXTRACTED_TO;
    if (run.cancelled)
        format = run.extracted == 1 ? IDS_EXTRACTED_ONE_CANCELLED : IDS_EXTRACTED_CANCELLED;
    wchar_t text[TEXT_BUFFER_SIZE];
    FormatText(text, TEXT_BUFFER_SIZE, LoadResString(format), static_cast<int>(run.extracted),
               run.folder);
    SetStatusText(text);
}

// The status line, then one box for everything that went wrong; when it
// names only some of the failures, it offers to save the whole list.
void ReportRun(HWND window, const ExtractionRun& run) {
    ShowExtracted(run);
    wchar_t text[TEXT_BUFFER_SIZE];

    text[0] = L'\0';
    if (run.failed > 0) {
        wchar_t lines[TEXT_BUFFER_SIZE];
        FormatText(lines, TEXT_BUFFER_SIZE, L"%s", run.failureLines);
        if (run.failed > FAILURES_NAMED) {
            AppendLine(lines, TEXT_BUFFER_SIZE, L"\n");
            size_t used = wcslen(lines);
            FormatText(lines + used, TEXT_BUFFER_SIZE - used,
                       LoadResString(IDS_FILES_LEFT_OUT_MORE),
                       static_cast<int>(run.failed - FAILURES_NAMED));
        }
        FormatText(text, TEXT_BUFFER_SIZE, LoadResString(IDS_EXTRACT_FAILED),
                   static_cast<int>(run.failed), run.folder, lines);
    }
    if (run.duplicates > 0) {
        AppendLine(text, TEXT_BUFFER_SIZE, L"\n\n");
        size_t used = wcslen(text);
        FormatText(text + used, TEXT_BUFFER_SIZE - used, LoadResString(IDS_DUPLICATES),
                   static_cast<int>(run.duplicates));
    }
    if (!text[0]) return;
    if (run.failed <= FAILURES_NAMED) {
        ShowProblem(window, IDS_EXTRACT_FAILED_CAPTION, L"%s", text);
        return;
    }
    size_t used = wcslen(text);
    FormatText(text + used, TEXT_BUFFER_SIZE - used, L"%s", LoadResString(IDS_FAILED_SAVE_LIST));
    wchar_t caption[TEXT_BUFFER_SIZE];
    LoadStringW(g_instance, IDS_EXTRACT_FAILED_CAPTION, caption, TEXT_BUFFER_SIZE);
    if (MessageBoxW(window, text, caption, MB_YESNO | MB_ICONERROR) == IDYES)
        SaveListFile(window, IDS_FAILED_LIST_TITLE, run.failures, IDS_EXTRACT_FAILED_CAPTION);
}

bool IsFolderThere(const wchar_t* path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

void ExtractRecords(HWND window, const uint32_t* indices, uint32_t count, bool ask) {
    if (g_archive == GRF_NO_ARCHIVE || count == 0) return;
    auto* run = new (std::nothrow) ExtractionRun();
    if (!run) {
        ShowError(window, LoadResString(IDS_OUT_OF_MEMORY));
        return;
    }
    run->archive = g_archive;
    run->indices = indices;
    run->count = count;
    wchar_t previous[PATH_SIZE];
    DWORD previousLength = GetCurrentDirectoryW(PATH_SIZE, previous);
    // The last folder is used without asking while it is there; once it is
    // gone, the user is asked for another rather than told to find one.
    if (!ask && g_extractFolder[0] && IsFolderThere(g_extractFolder)) {
        wcscpy(run->folder, g_extractFolder);
    } else if (!AskFolder(window, IDS_SELECT_EXTRACT_FOLDER, FOLDER_TO_WRITE, g_extractFolder,
                          run->folder)) {
        delete run;
        return;
    }
    wcscpy(g_extractFolder, run->folder);
    WriteFolderSetting(FOLDER_EXTRACT, run->folder, false);
    if (!SetCurrentDirectoryW(run->folder)) {
        // The engine writes under the current directory.
        ShowProblem(window, IDS_EXTRACT_CANNOT_CAPTION, LoadResString(IDS_EXTRACT_FOLDER_GONE),
                    run->folder);
    } else {
        ExtractSteps(run);
        if (previousLength > 0 && previousLength < PATH_SIZE) SetCurrentDirectoryW(previous);
        ReportRun(window, *run);
    }
    if (run->changed) AskToOpenAgain(window, run->changedPath);
    delete run;
}
