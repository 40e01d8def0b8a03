// suite_client: stands in for the sibling programs of the radio suite that talk to the
// bridge. As a client it speaks DDEML through the ANSI entry points, or with --raw the DDE
// message protocol itself from a hidden window (as the suite's forms programs do); as
// `listen` it serves topic DDEClient under the siblings' names to record what the bridge
// tells them. It also pokes at the bridge's window from outside, so scripts can drive and
// examine the bridge.
//
// Output is meant for bash: values on stdout, one per line, diagnostics on stderr, and the
// exit code tells what went wrong (see ExitCode). Run without arguments for the usage text.
//
// The parts: ClientSupport (exit codes, output, message pump), DdemlClient and
// RawDdeConversation (the two ways of being a client), DdeListener (`listen`),
// ClientCommands, WindowCommands and ExeCommands (the commands); this file holds the command
// table and main.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "ClientSupport.h"
#include "Commands.h"

namespace tools::suite_client {

namespace {

// Which of the options a command understands.
enum OptionSet : unsigned { kNoOptions = 0, kRawOption = 1, kLogOption = 2, kStampOption = 4 };

struct Command {
  const char* name;
  size_t minArgs;
  size_t maxArgs;
  unsigned options;
  const char* synopsis;
  int (*run)(const Args&, const Options&);
};

constexpr size_t kAnyNumber = SIZE_MAX;

constexpr Command kCommands[] = {
    {"request", 3, kAnyNumber, kRawOption, "request SERVICE TOPIC ITEM [ITEM...]", RunRequest},
    {"execute", 3, 4, kRawOption | kStampOption, "execute SERVICE TOPIC COMMAND [TIMEOUT_MS]", RunExecute},
    {"watch", 4, 4, kRawOption | kStampOption, "watch SERVICE TOPIC ITEM SECONDS", RunWatch},
    {"keepname", 4, 4, kRawOption, "keepname SERVICE TOPIC ITEM COUNT", RunKeepName},
    {"execute-file", 3, 4, kRawOption | kStampOption, "execute-file SERVICE TOPIC FILE [TIMEOUT_MS]", RunExecuteFile},
    {"burst", 4, kAnyNumber, kNoOptions, "burst SERVICE TOPIC DELAY_MS COMMAND [COMMAND...]", RunBurst},
    {"listen", 2, kAnyNumber, kLogOption, "listen [--initiate-delay MS] [--hold-execute] SECONDS NAME [NAME...]", RunListen},
    {"hang", 1, 1, kNoOptions, "hang SECONDS", RunHang},
    {"windows", 1, 1, kNoOptions, "windows CAPTION", RunWindows},
    {"close", 1, 1, kNoOptions, "close CAPTION", RunClose},
    {"minimize", 1, 1, kNoOptions, "minimize CAPTION", RunMinimize},
    {"restore", 1, 1, kNoOptions, "restore CAPTION", RunRestore},
    {"type", 3, 3, kNoOptions, "type CAPTION CONTROLTEXT CHARS", RunType},
    {"edit", 3, 4, kNoOptions, "edit CAPTION INDEX type|delete|cut|paste [TEXT]", RunEdit},
    {"tabstop", 2, 2, kNoOptions, "tabstop CAPTION INDEX", RunTabStop},
    {"modules", 1, 1, kNoOptions, "modules CAPTION", RunModules},
    {"manifest", 1, 1, kNoOptions, "manifest FILE", RunManifest},
    {"lock-file", 2, 2, kNoOptions, "lock-file PATH SECONDS", RunLockFile},
    {"readonly", 2, 2, kNoOptions, "readonly PATH on|off", RunReadOnly},
    {"procstats", 1, 1, kNoOptions, "procstats CAPTION", RunProcStats},
    {"atoms", 0, 0, kNoOptions, "atoms", RunAtoms},
    {"soak", 4, 5, kRawOption, "soak SERVICE TOPIC SECONDS SEED [PAUSE_MS]", RunSoak},
    {"watchall", 4, kAnyNumber, kNoOptions, "watchall SERVICE TOPIC SECONDS ITEM [ITEM...]", RunWatchAll},
};

void PrintUsage() {
  std::fputs(
      "usage: suite_client [--raw] [--stamp] [--log FILE] COMMAND ARGS...\n"
      "commands:\n",
      stderr);
  for (const Command& command : kCommands) std::fprintf(stderr, "  %s\n", command.synopsis);
  std::fputs(
      "options (before the command):\n"
      "  --raw       request, execute and watch speak the DDE message protocol from a\n"
      "              hidden window (as the suite's forms programs do) instead of DDEML.\n"
      "  --log FILE  listen also appends each line it prints to FILE.\n"
      "  --stamp     execute adds the UTC time its answer came, as 2026-12-06T21:40:01.123Z;\n"
      "              watch starts each line with the UTC time its value came and a blank.\n"
      "\n"
      "request  prints the item's CF_TEXT value; given several items, it asks for them one\n"
      "         after another over one conversation and prints ITEM|VALUE for each.\n"
      "execute  prints ACK, NACK, TIMEOUT, NOCONNECT or FAILED.\n"
      "execute-file sends the bytes of FILE, all of them (NULs too), as the command; answers\n"
      "         as execute.\n"
      "hang     shows a window, prints READY, then serves no message for SECONDS.\n"
      "burst    connects one raw conversation per COMMAND, then posts them DELAY_MS apart\n"
      "         without waiting, and prints each answer (ACK, NACK, ...) in order.\n"
      "watch    prints the current value once the hot link is up, then each advised value,\n"
      "         one per line.\n"
      "listen   serves topic DDEClient under each service NAME, as the suite's programs do\n"
      "         for the bridge: accepts connects, hot links on RequestDDEConnection (its\n"
      "         value is empty) and every EXECUTE. Prints READY once all names are\n"
      "         registered, then one line per event: MS NAME EVENT, MS counted from the\n"
      "         tool's start, EVENT one of CONNECT, ADVSTART ITEM, EXECUTE COMMAND,\n"
      "         DISCONNECT; a refused ADVSTART, REQUEST or POKE shows as EVENT ITEM REFUSED.\n"
      "         Ends after SECONDS, or earlier at a line \"quit\" on stdin when stdin is\n"
      "         a pipe. --initiate-delay MS answers each initiate for a NAME only after MS\n"
      "         milliseconds (a program busy for a moment), keeping its sender waiting.\n"
      "         --hold-execute takes each EXECUTE and never answers it (EVENT is then\n"
      "         EXECUTE COMMAND HELD): a program that hung after it took the conversation.\n"
      "windows  prints WINDOW|visible|clientwidth,clientheight|state|caption, then one\n"
      "         line per child: class|visible|left,top,width,height|text (client pixels).\n"
      "         In watch, listen and windows lines \\, CR, LF, TAB appear as \\\\ \\r \\n \\t.\n"
      "close, minimize, restore act on the top-level window with exactly that caption.\n"
      "type     posts WM_CHAR per character (\\r \\n \\t \\\\ understood) to the edit\n"
      "         control whose text is CONTROLTEXT.\n"
      "edit     acts on the child at INDEX (0-based, in the order windows lists them) as\n"
      "         a person would: selects its whole text, then types TEXT (WM_CHAR per\n"
      "         character), presses Delete, cuts (WM_CUT) or pastes TEXT through the\n"
      "         clipboard (WM_PASTE); it returns once the control has had its chance.\n"
      "tabstop  prints 1 when the child at INDEX is a tab stop (WS_TABSTOP), else 0.\n"
      "modules  prints the full path of each module loaded in the process of the top-level\n"
      "         window CAPTION, one per line. Under Wine only a suite_client of the same\n"
      "         bitness as that process can list it.\n"
      "manifest prints the application manifest of the exe FILE (resource 1 of type\n"
      "         RT_MANIFEST) as stored; exit code 3 when it has none.\n"
      "lock-file opens PATH (made when missing) with no sharing, prints READY and holds it\n"
      "         for SECONDS.\n"
      "readonly sets (on) or clears (off) the read-only attribute of the file PATH.\n"
      "procstats prints, for the process of the top-level window CAPTION, one line\n"
      "         private_bytes=N working_set=N handles=N user_objects=N gdi_objects=N\n"
      "         (-1 for a figure the system does not report).\n"
      "atoms    prints global_atoms=N, the number of global atoms in use.\n"
      "keepname holds a reference to ITEM's global atom, requests ITEM COUNT times over one\n"
      "         conversation, then prints KEPT if its reference is still there, else RELEASED\n"
      "         (exit code 6).\n"
      "soak     sends a seeded random mix of the suite's commands, valid and invalid (never\n"
      "         shutdown), for SECONDS, pausing up to PAUSE_MS (default 20) between them and\n"
      "         opening a new conversation every 10 to 80 commands; each answer is checked\n"
      "         (a wrong, late or missing one is told on stderr). Prints\n"
      "         sent=N ack=N nack=N wrong=N timeout=N failed=N connects=N noconnect=N and a\n"
      "         line of counts per kind; exit code 6 unless every command got its answer.\n"
      "watchall reads every ITEM and holds a hot link on each over one conversation; prints\n"
      "         LINKED once all are linked; after SECONDS, or earlier at a line \"quit\" on\n"
      "         stdin when stdin is a pipe, ITEM|UPDATES|LAST VALUE per item.\n"
      "\n"
      "exit codes: 0 ok, 1 usage, 2 no connection, 3 refused (request failed, NACK),\n"
      "            4 window not found, 5 timeout, 6 other failure.\n",
      stderr);
}

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

int UsageError(const char* format, const char* detail) {
  PrintError(format, detail);
  PrintUsage();
  return kUsage;
}

}  // namespace
}  // namespace tools::suite_client

int main(int argc, char** argv) {
  using namespace tools::suite_client;
  StartClock();
  // Binary mode: bash wants "\n" line ends, not "\r\n".
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  Options options;
  int next = 1;
  while (next < argc && std::strncmp(argv[next], "--", 2) == 0) {
    std::string_view option = argv[next];
    if (option == "--raw") {
      options.raw = true;
      ++next;
    } else if (option == "--stamp") {
      options.stamp = true;
      ++next;
    } else if (option == "--log") {
      if (next + 1 >= argc || argv[next + 1][0] == '\0') {
        return UsageError("%s needs a file name", argv[next]);
      }
      options.logFile = argv[next + 1];
      next += 2;
    } else {
      return UsageError("unknown option \"%s\"", argv[next]);
    }
  }
  if (next >= argc) {
    PrintUsage();
    return kUsage;
  }
  const Command* command = FindCommand(argv[next]);
  if (command == nullptr) return UsageError("unknown command \"%s\"", argv[next]);
  Args args(argv + next + 1, argv + argc);
  if (args.size() < command->minArgs || args.size() > command->maxArgs) {
    return UsageError("wrong number of arguments; usage: %s", command->synopsis);
  }
  if (options.stamp && (command->options & kStampOption) == 0) {
    return UsageError("--stamp does not apply to %s", command->name);
  }
  if (options.raw && (command->options & kRawOption) == 0) {
    return UsageError("--raw does not apply to %s", command->name);
  }
  if (!options.logFile.empty() && (command->options & kLogOption) == 0) {
    return UsageError("--log does not apply to %s", command->name);
  }
  return command->run(args, options);
}
