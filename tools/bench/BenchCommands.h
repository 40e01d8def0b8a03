// The benchmark client's commands; each returns an exit code (0 ok, 2 no connection,
// 3 refused, 5 timed out, 6 other failure) and writes its samples to a file.
#pragma once

#include <string>
#include <vector>

namespace tools::bench {

using Args = std::vector<std::string>;

/// rtt SERVICE TOPIC COUNT OUT COMMAND...: COUNT EXECUTEs, the commands in turn; one line
/// "SENT ANSWERED ACK|NACK" each.
int RunRoundTrips(const Args& args);
/// follow SERVICE TOPIC WSERVICE WTOPIC WITEM COUNT FROM STEP OUT FORMAT: EXECUTEs FORMAT
/// with %d replaced by FROM, FROM+STEP, ...; after each, waits for a new value of the
/// hot-linked WITEM; one line "NUMBER SENT ANSWERED ARRIVED ACK|NACK VALUE" each, NUMBER
/// the one put into FORMAT, VALUE with its commas dropped ("-" and ARRIVED 0: none came).
int RunFollow(const Args& args);
/// watch SERVICE TOPIC ITEM FINAL SECONDS OUT: hot-linked until the value, commas dropped,
/// is FINAL; prints READY once linked; one line "COUNT FIRST_ARRIVED LAST_ARRIVED LAST".
int RunWatch(const Args& args);
/// launch EXE COUNT OUT [CAPTION SERVICE TOPIC]: starts EXE COUNT times; until its
/// "004test" is acknowledged on SERVICE|TOPIC (then closes the window CAPTION), or without
/// a caption until it ends; one line "STARTED READY SHOWN" each, SHOWN when the window was
/// first found (0 without a caption).
int RunLaunch(const Args& args);

}  // namespace tools::bench
