// The version from the build, and the answers every program gives before it runs.
#include "app/Version.h"

#include "BuildVersion.h"

namespace gloam {

std::string versionText() {
    const std::string revision = GLOAM_REVISION;
    return revision.empty() ? std::string(GLOAM_VERSION) : std::string(GLOAM_VERSION) + " (git " + revision + ")";
}

namespace {

/// An answer nobody could read (standard output full or closed) is a failure,
/// said on standard error, not a silent success.
int answered(const platform::CommandLine& commandLine, std::ostream& out, std::ostream& err) {
    if (out) return 0;
    err << commandLine.program() << ": cannot write to standard output\n" << std::flush;
    return 2;
}

}  // namespace

std::optional<int> answerCommandLine(const platform::CommandLine& commandLine,
                                     const platform::CommandLine::Result& result, std::ostream& out,
                                     std::ostream& err) {
    switch (result.request) {
    case platform::CommandLineRequest::Run:
        return std::nullopt;
    case platform::CommandLineRequest::Help:
        out << commandLine.usage() << std::flush;
        return answered(commandLine, out, err);
    case platform::CommandLineRequest::Version:
        out << commandLine.program() << ' ' << versionText() << '\n' << std::flush;
        return answered(commandLine, out, err);
    case platform::CommandLineRequest::Refused:
        break;
    }
    err << commandLine.program() << ": " << result.error << '\n' << std::flush;
    return 2;
}

}  // namespace gloam
