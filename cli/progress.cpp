// progress.cpp -- the progress bar's state and drawing.
#include "progress.h"

#include <stdio.h>

#include <chrono>
#include <string>

#include "console.h"
#include "output.h"

namespace caskw {

namespace {

using Clock = std::chrono::steady_clock;

struct Bar {
    bool shown = false;
    std::string verb;
    uint64_t items = 0;
    uint64_t bytes = 0;
    uint64_t doneItems = 0;
    uint64_t doneBytes = 0;
    uint64_t engineBytes = 0;  // stored bytes of the records the engine passed
    uint32_t engineLast = 0;
    Clock::time_point start;
    Clock::time_point drawn;
};

Bar g_bar;

std::string Rate(double perSecond, bool bytes) {
    char text[32];
    if (!bytes)
        snprintf(text, sizeof text, "%.0f/s", perSecond);
    else if (perSecond >= 1e9)
        snprintf(text, sizeof text, "%.1f GB/s", perSecond / 1e9);
    else if (perSecond >= 1e6)
        snprintf(text, sizeof text, "%.1f MB/s", perSecond / 1e6);
    else
        snprintf(text, sizeof text, "%.0f kB/s", perSecond / 1e3);
    return text;
}

std::string Duration(double seconds) {
    auto s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

void Draw(Clock::time_point now) {
    Bar& b = g_bar;
    bool byBytes = b.bytes > 0;
    double total = byBytes ? static_cast<double>(b.bytes) : static_cast<double>(b.items);
    double done = byBytes ? static_cast<double>(b.doneBytes) : static_cast<double>(b.doneItems);
    double fraction = total > 0 ? done / total : 0;
    if (fraction > 1) fraction = 1;
    double elapsed = std::chrono::duration<double>(now - b.start).count();

    constexpr int kWidth = 24;
    int filled = static_cast<int>(fraction * kWidth);
    std::string line = b.verb + " [";
    line.append(static_cast<size_t>(filled), '#');
    line.append(static_cast<size_t>(kWidth - filled), ' ');
    char numbers[96];
    snprintf(numbers, sizeof numbers, "] %3d%% %llu/%llu", static_cast<int>(fraction * 100),
             static_cast<unsigned long long>(b.doneItems),
             static_cast<unsigned long long>(b.items));
    line += numbers;
    if (elapsed >= 0.5 && done > 0) {
        double rate = done / elapsed;
        line += "  " + Rate(rate, byBytes);
        line += "  " + Duration((total - done) / rate) + " left";
    }
    ShowStatusLine(line);
    b.drawn = now;
}

}  // namespace

void ProgressBegin(std::string_view verb, uint64_t items, uint64_t bytes) {
    g_bar = Bar();
    g_bar.shown = !Quiet() && IsTerminal(kStderr);
    g_bar.verb = verb;
    g_bar.items = items;
    g_bar.bytes = bytes;
    g_bar.start = Clock::now();
    g_bar.drawn = g_bar.start;
}

void ProgressUpdate(uint64_t items, uint64_t bytes) {
    g_bar.doneItems = items;
    g_bar.doneBytes = bytes;
    if (!g_bar.shown) return;
    auto now = Clock::now();
    if (now - g_bar.drawn >= std::chrono::milliseconds(100)) Draw(now);
}

void ProgressEnd() {
    if (g_bar.shown) ClearStatusLine();
    g_bar = Bar();
}

int32_t EngineProgress(GrfEntry* entry, uint32_t index, uint32_t) {
    // index counts the records before this one.
    if (entry && index >= g_bar.engineLast) {
        g_bar.engineBytes += entry->alignedSize;
        g_bar.engineLast = index + 1;
    }
    ProgressUpdate(index, g_bar.bytes ? g_bar.engineBytes : 0);
    return Interrupted() ? 1 : 0;
}

}  // namespace caskw
