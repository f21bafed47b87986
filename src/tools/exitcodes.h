#pragma once

namespace cg {

// The exit codes of coachgate-admin and its commands: done, failed (the
// reason on standard error), wrong usage, and (check) a database that needs
// "init" or was written by a newer program.
enum AdminExit : int { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitSchema = 3 };

} // namespace cg
