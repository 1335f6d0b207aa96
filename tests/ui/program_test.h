// program_test.h -- the fixture of the window suite: a fresh run of the
// program per test, a temporary folder, archives written into it, and the
// user's ways of loading them.
#ifndef CASKWRIGHT_PROGRAM_TEST_H
#define CASKWRIGHT_PROGRAM_TEST_H

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grf.h"
#include "grf_builder.h"
#include "test_support.h"
#include "ui_driver.h"

// Points the program's settings at the suite's own key and empties it.
void ForgetSettings();

class ProgramTest : public ::testing::Test {
  protected:
    // Every test starts from nothing remembered, under a key of its own.
    void SetUp() override {
        ForgetSettings();
        ASSERT_TRUE(StartProgram(&program));
    }
    void TearDown() override { StopProgram(&program); }

    // Writes an archive into the temporary folder and returns its path.
    std::wstring WriteArchive(const std::wstring& name, const std::vector<Content>& contents,
                              uint32_t version = 0x200);
    std::wstring WriteBytes(const std::wstring& name, const Bytes& bytes);

    // Makes path the loaded archive behind the program's back and lists it
    // (Filter), for tests about the list rather than about opening.
    void LoadDirectly(const std::wstring& path);
    // Open or Add Grf as a user: the button, then the file dialog titled
    // title answered with path. Returns what WaitIdle returns afterwards.
    std::wstring UseFileDialog(int button, const std::wstring& title, const std::wstring& path);
    std::wstring Open(const std::wstring& path);
    // Sets the filter box and presses Filter.
    void Filter(const std::wstring& pattern);

    TempDir dir;
    Program program;
};

// Presses the Open button's arrow, reads its menu and picks the item of key
// (0: closes the menu); returns the items' texts.
std::vector<std::wstring> OpenDropDown(const Program& program, wchar_t key);

// data\file<i>.txt holding "x", for i from 0.
std::vector<Content> Numbered(int count);

// An entry whose stored bytes are a zlib header and then no stream, and
// whose sizes differ, for BuildStoredArchive: it lists but does not inflate.
Stored UnreadableEntry(const std::string& name);

#endif
