// password.cpp -- keys from the command line's options, made once per run.
#include "password.h"

#include <string.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "console.h"
#include "errors.h"
#include "names.h"

namespace caskw {

namespace {

// One key's three ways in: a password, a file holding one, a key file.
struct KeySource {
    std::string password;
    std::string passwordFile;
    std::string keyFile;

    bool Given() const { return !password.empty() || !passwordFile.empty() || !keyFile.empty(); }
};

KeySource g_read, g_write;

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* why) {
    std::ifstream file(PathFromUtf8(path), std::ios::binary);
    if (file) bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad() || !file.is_open()) {
        *why = path + ": the file could not be read";
        return false;
    }
    return true;
}

// The key a source gives, in key (GRF_KEY_SIZE bytes).
bool MakeKey(const KeySource& source, uint8_t* key, std::string* why) {
    std::string bytes = source.password;
    const char* option = "--password";
    if (!source.keyFile.empty()) {
        if (!ReadWholeFile(source.keyFile, &bytes, why)) return false;
        if (bytes.size() != GRF_KEY_SIZE) {
            *why = source.keyFile + ": a key file holds exactly 256 bytes, not " +
                   std::to_string(bytes.size());
            return false;
        }
        memcpy(key, bytes.data(), GRF_KEY_SIZE);
        return true;
    }
    if (!source.passwordFile.empty()) {
        if (!ReadWholeFile(source.passwordFile, &bytes, why)) return false;
        // The line end an editor leaves is no part of the password.
        if (!bytes.empty() && bytes.back() == '\n') bytes.pop_back();
        if (!bytes.empty() && bytes.back() == '\r') bytes.pop_back();
        option = "the password file";
    }
    if (!GrfKeyFromPassword(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), key)) {
        *why = std::string(option) + ": a password takes 4 to 256 bytes, not " +
               std::to_string(bytes.size());
        return false;
    }
    return true;
}

void AddSource(CLI::App* app, const std::string& prefix, KeySource* source, const char* what) {
    app->add_option("--" + prefix + "password", source->password,
                    std::string("password ") + what + " (its bytes as typed)")
        ->type_name("TEXT")
        ->trigger_on_parse();
    app->add_option("--" + prefix + "password-file", source->passwordFile,
                    std::string("file holding the password ") + what +
                        " (one line end at its end is left out)")
        ->type_name("FILE")
        ->trigger_on_parse();
    app->add_option("--" + prefix + "key-file", source->keyFile,
                    std::string("file of the 256 key bytes ") + what)
        ->type_name("FILE")
        ->trigger_on_parse();
}

}  // namespace

void AddKeyOptions(CLI::App* app) {
    AddSource(app, "", &g_read,
              "of keyed entries: reads them, and keys the entries written (pack, add, repack)");
    AddSource(app, "new-", &g_write, "that keys the entries written instead");
}

bool ApplyReadKey(GrfArchive* archive, std::string* why) {
    if (!g_read.Given()) return true;
    uint8_t key[GRF_KEY_SIZE];
    if (!MakeKey(g_read, key, why)) return false;
    bool set = GrfSetKey(archive, key) != 0;
    memset(key, 0, sizeof key);
    if (!set) *why = ErrorText(GrfLastError);
    return set;
}

bool ApplyWriteKey(GrfArchive* archive, std::string* why) {
    const KeySource& source = g_write.Given() ? g_write : g_read;
    if (!source.Given()) return true;
    uint8_t key[GRF_KEY_SIZE];
    if (!MakeKey(source, key, why)) return false;
    bool set = GrfSetWriteKey(archive, key) != 0;
    memset(key, 0, sizeof key);
    if (!set) *why = ErrorText(GrfLastError);
    return set;
}

}  // namespace caskw
