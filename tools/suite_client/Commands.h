// The suite client's commands, each run with its own arguments and the options given
// before it; each returns an ExitCode after printing what a script reads.
#pragma once

#include <string>
#include <vector>

namespace tools::suite_client {

using Args = std::vector<std::string>;  // the command's own arguments, without its name

// Options given before the command.
struct Options {
  bool raw = false;     // --raw: request, execute and watch without DDEML
  bool stamp = false;   // --stamp: execute adds the UTC time its answer came
  std::string logFile;  // --log FILE: listen also appends its lines here
};

int RunRequest(const Args& args, const Options& options);
int RunExecute(const Args& args, const Options& options);
int RunWatch(const Args& args, const Options& options);
int RunKeepName(const Args& args, const Options& options);
int RunBurst(const Args& args, const Options& options);
int RunListen(const Args& args, const Options& options);
int RunHang(const Args& args, const Options& options);
int RunWindows(const Args& args, const Options& options);
int RunClose(const Args& args, const Options& options);
int RunMinimize(const Args& args, const Options& options);
int RunRestore(const Args& args, const Options& options);
int RunType(const Args& args, const Options& options);
int RunEdit(const Args& args, const Options& options);
int RunTabStop(const Args& args, const Options& options);
int RunModules(const Args& args, const Options& options);
int RunManifest(const Args& args, const Options& options);
int RunExecuteFile(const Args& args, const Options& options);
int RunLockFile(const Args& args, const Options& options);
int RunReadOnly(const Args& args, const Options& options);
int RunProcStats(const Args& args, const Options& options);
int RunSoak(const Args& args, const Options& options);
int RunWatchAll(const Args& args, const Options& options);
int RunAtoms(const Args& args, const Options& options);

}  // namespace tools::suite_client
