// saverpack: builds installers from JSON scripts, prints an installer's
// script as JSON, and checks installers.
#include <iostream>

#include <CLI/CLI.hpp>

#include "packer/Commands.h"
#include "script/PackageArchive.h"

#ifndef SAVER_DEFAULT_STUB
#define SAVER_DEFAULT_STUB ""
#endif

int main(int argc, char** argv)
{
    // A damaged package is reported by the command, not by a message box.
    PackageArchive::SetMessageHandler(nullptr);

    CLI::App app("saverpack: builds screen-saver installers from JSON scripts", "saverpack");
    app.require_subcommand(1);
    // Paths such as /tmp/x.json are arguments, also in the Windows build.
    app.allow_windows_style_options(false);

    Packer::BuildOptions build;
    build.defaultStub = SAVER_DEFAULT_STUB;
    CLI::App* pBuild = app.add_subcommand("build", "Build an installer (stub + marker + package) from a script");
    pBuild->add_option("script", build.script, "The JSON script")->required();
    pBuild->add_option("-o,--output", build.output, "The installer to write")->required();
    pBuild->add_option("--stub", build.stub, "The stub to put in front (default: " SAVER_DEFAULT_STUB ")");
    pBuild->add_flag("--package-only", build.packageOnly, "Write only the package stream, without stub and marker");

    Packer::DumpOptions dump;
    CLI::App* pDump = app.add_subcommand("dump", "Print the script of an installer or package as JSON");
    pDump->add_option("input", dump.input, "An installer or a bare package stream")->required();
    pDump->add_option("--extract", dump.extractDir,
                      "Write every carried file into this folder and refer to it by path");
    pDump->add_option("-o,--output", dump.output, "Write the JSON to this file instead of standard output");

    std::string verifyInput;
    CLI::App* pVerify = app.add_subcommand("verify", "Check an installer step by step and summarize it");
    pVerify->add_option("input", verifyInput, "The installer")->required();

    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        int code = app.exit(e);
        return code == 0 ? 0 : 2;
    }

    if (pBuild->parsed())
        return Packer::RunBuild(build, std::cout, std::cerr);
    if (pDump->parsed())
        return Packer::RunDump(dump, std::cout, std::cerr);
    return Packer::RunVerify(verifyInput, std::cout, std::cerr);
}
