// output.cpp -- standard output and standard error, through console.h.
#include "output.h"

#include <string>

#include "console.h"
#include "names.h"

namespace caskw {

namespace {

constexpr size_t kOutBuffer = 1 << 16;

std::string g_out;
bool g_outFailed = false;
bool g_quiet = false;
bool g_statusShown = false;

void WriteOut(const char* data, size_t size) {
    if (!g_outFailed && !WriteStream(kStdout, data, size)) g_outFailed = true;
}

void ErrLine(std::string_view text) {
    ClearStatusLine();
    std::string line = "caskw: ";
    line.append(text);
    // Names from archives and folders reach messages: none may steer the
    // terminal or split the line.
    EscapeControls(&line);
    line.push_back('\n');
    WriteStream(kStderr, line.data(), line.size());
}

}  // namespace

std::string Count(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void Out(std::string_view text) {
    g_out.append(text);
    // Whole calls only: a console shows UTF-8 by whole characters.
    if (g_out.size() >= kOutBuffer) {
        WriteOut(g_out.data(), g_out.size());
        g_out.clear();
    }
}

void OutBytes(const void* data, size_t size) {
    if (!g_out.empty()) {
        WriteOut(g_out.data(), g_out.size());
        g_out.clear();
    }
    WriteOut(static_cast<const char*>(data), size);
}

bool OutFlush() {
    if (!g_out.empty()) WriteOut(g_out.data(), g_out.size());
    g_out.clear();
    return !g_outFailed;
}

void SetQuiet(bool quiet) {
    g_quiet = quiet;
}

bool Quiet() {
    return g_quiet;
}

void Complain(std::string_view text) {
    ErrLine(text);
}

void Note(std::string_view text) {
    if (!g_quiet) ErrLine(text);
}

// Lines are redrawn by overwriting with spaces, not with escape sequences,
// which older Windows consoles print as they are.
void ShowStatusLine(std::string_view text) {
    size_t width = static_cast<size_t>(TerminalColumns() - 1);
    std::string line = "\r";
    line.append(text.substr(0, width));
    line.append(width - (line.size() - 1), ' ');
    WriteStream(kStderr, line.data(), line.size());
    g_statusShown = true;
}

void ClearStatusLine() {
    if (!g_statusShown) return;
    std::string line = "\r";
    line.append(static_cast<size_t>(TerminalColumns() - 1), ' ');
    line.push_back('\r');
    WriteStream(kStderr, line.data(), line.size());
    g_statusShown = false;
}

}  // namespace caskw
