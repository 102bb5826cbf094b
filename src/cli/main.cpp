// tavrel-cli: the recovery engine from the command line.
#include <iostream>

#include "cli/Commands.h"
#include "image/ImageFormats.h"

int main(int argc, char** argv) {
    CLI::App app{"Tavrel: recover files from virtual disk images (read-only)", "tavrel-cli"};
    // The version and the image formats this build reads (a format whose library
    // was missing at build time is left out).
    app.set_version_flag("--version", std::string("tavrel-cli ") + TAVREL_VERSION +
                                          "\nImage formats: " + tavrel::readableFormats());
    app.require_subcommand(1);
    int exitCode = 0;
    tavrel::cli::addInfoCommand(app, exitCode);
    tavrel::cli::addVolumesCommand(app, exitCode);
    tavrel::cli::addExportCommand(app, exitCode);
    tavrel::cli::addLsCommand(app, exitCode);
    tavrel::cli::addRecoverCommand(app, exitCode);
    tavrel::cli::addCatCommand(app, exitCode);
    tavrel::cli::addCarveCommand(app, exitCode);
    tavrel::cli::addRulesCommand(app, exitCode);
    tavrel::cli::addHuntCommand(app, exitCode);
    tavrel::cli::addSearchCommand(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    return exitCode;
}
