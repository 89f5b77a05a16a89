#pragma once

// What textdrop-cli tells its caller. Documented in --help and the README.
namespace ExitCode {

inline constexpr int Delivered = 0;    // send: the receiver answered "OK"; listen: stopped by a signal
inline constexpr int Refused = 1;      // send: the receiver answered with another word (BAD, MAXSIZE,
                                       // NOTSAVED, CLOCK, REPLAY, ...)
inline constexpr int Usage = 2;        // bad options, unreadable password file
inline constexpr int NotDelivered = 3; // send: could not connect, no complete answer in time, an answer
                                       // that is no valid reply, or BUSY (try again later);
                                       // listen: could not listen
inline constexpr int NotSent = 4;      // send: nothing went out: the text is empty or too long
inline constexpr int Partly = 5;       // send to several: some answered "OK", some did not
inline constexpr int SignalBase = 128; // send: interrupted by signal N gives 128 + N

} // namespace ExitCode
