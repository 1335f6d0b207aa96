// replay_main -- a fuzz target's inputs run outside libFuzzer, so that the
// test suites replay them: every file given, and every file under every
// folder given (the seeds, the crashers kept under tests/crashers), in
// sorted order, through LLVMFuzzerTestOneInput. A trap or a sanitizer
// report ends the program and fails its test; a folder that is not there
// holds nothing to replay.
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<fs::path> files;
        std::error_code error;
        if (fs::is_regular_file(argv[i], error)) {
            files.push_back(argv[i]);
        } else {
            fs::recursive_directory_iterator it(argv[i], error), end;
            for (; !error && it != end; it.increment(error))
                if (it->is_regular_file(error)) files.push_back(it->path());
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            // Named first, so the log says which input a crash came from.
            fprintf(stderr, "replaying %s (%zu bytes)\n", file.string().c_str(), bytes.size());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++replayed;
        }
    }
    printf("%zu inputs replayed\n", replayed);
    return 0;
}
