// main.cpp -- caskw: the command line over the archive engine. Arguments
// arrive as UTF-8 (on Windows through wmain, converted), one subcommand runs,
// and its exit code is the program's.
#include <CLI/CLI.hpp>
#include <sstream>
#include <string>
#include <vector>

#include <grf.h>

#include "client_view.h"
#include "commands.h"
#include "console.h"
#include "names.h"
#include "output.h"
#include "password.h"

namespace {

constexpr const char* kAbout =
    "caskw: read, extract, pack and edit GRF/GPF archives, the packed data archives\n"
    "of an online game. Names inside archives are shown and typed as UTF-8.";

constexpr const char* kFooter =
    R"(Patterns match an entry's whole path without regard to case: * and ? stay
within one folder, ** crosses folders (data/sprite/**/*.spr), either separator
may be typed, and a pattern without a separator matches the last component
(*.spr). Quote patterns so the shell leaves them alone.

Examples:
  caskw list data.grf 'data/texture/**/*.bmp' --long
  caskw extract data.grf '*.gat' -C server/maps
  caskw cat data.grf 'data\clientinfo.xml' | less
  caskw pack mods -o mods.grf --prefix data
  caskw add data.grf data/sprite/new.spr
  caskw merge -o all.grf --data-ini client/data.ini
  caskw diff old.grf new.grf --patch update.grf

Exit codes: 0 all done; 1 some entries failed (each named on standard error);
2 the command could not run (usage, or an archive that does not open).
Data goes to standard output, messages and progress to standard error.
Run 'caskw COMMAND --help' for a command's own options and patterns.)";

int Run(int argc, const char* const* argv) {
    caskw::PrepareStreams();
    caskw::CatchInterrupts();
    CLI::App app(kAbout, "caskw");
    app.set_version_flag("-V,--version", std::string("caskw ") + CASKW_VERSION);
    app.require_subcommand(1);
    // "/x" is a path (a rooted one on Windows too), never an option: set
    // before the commands, which take it over.
    app.allow_windows_style_options(false);
    // -q may come after the command too.
    app.fallthrough();
    app.add_flag_function(
           "-q,--quiet", [](int64_t) { caskw::SetQuiet(true); },
           "print no summaries or progress, only errors")
        ->trigger_on_parse();
    app.add_flag_function(
           "--wait", [](int64_t) { GrfSetLockWait(1); },
           "wait for another program that is changing an archive instead of stopping")
        ->trigger_on_parse();
    caskw::AddKeyOptions(&app);
    int exitCode = caskw::kExitDone;
    caskw::AddReadCommands(&app, &exitCode);
    caskw::AddExtractCommand(&app, &exitCode);
    caskw::AddWriteCommands(&app, &exitCode);
    caskw::AddDiffCommand(&app, &exitCode);
    caskw::AddPatchCommands(&app, &exitCode);
    caskw::AddClientCommand(&app, &exitCode);
    caskw::AddManifestCommands(&app, &exitCode);
#ifdef CASKW_MOUNT
    caskw::AddMountCommands(&app, &exitCode);
#endif
    // After the commands, which would otherwise inherit it.
    app.footer(kFooter);
    // CLI11 would only say that a command is required.
    if (argc > 1 && argv[1][0] != '-') {
        bool known = false;
        for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; }))
            known = known || command->get_name() == argv[1];
        if (!known) {
            caskw::Complain(std::string("no such command: ") + argv[1]);
            caskw::Complain("run 'caskw --help' for the list of commands");
            return caskw::kExitUsage;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {  // --help, --version
            std::ostringstream out, err;
            app.exit(e, out, err);
            caskw::Out(out.str());
            caskw::OutFlush();
            return caskw::kExitDone;
        }
        caskw::Complain(e.what());
        caskw::Complain("run 'caskw --help' for usage");
        return caskw::kExitUsage;
    }
    caskw::OutFlush();
    return exitCode;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> utf8;
    for (int i = 0; i < argc; ++i) utf8.push_back(caskw::WideToUtf8(argv[i]));
    std::vector<const char*> pointers;
    for (const std::string& arg : utf8) pointers.push_back(arg.c_str());
    return Run(argc, pointers.data());
}
#else
int main(int argc, char** argv) {
    return Run(argc, argv);
}
#endif
