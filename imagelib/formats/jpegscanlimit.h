#pragma once
// How many scans a JPEG may have, and their count before decoding. Each scan
// of a progressive file is a pass over the whole picture, and nothing in the
// format stops a file from repeating scans: 5,000 of them fit in 2.3 MB and
// keep the decoder busy for minutes. They are counted before the first is
// decoded, since that one alone takes seconds on a large picture.

#include <cstdint>
#include <functional>
#include <string>

class TStream;

// libjpeg's standard progression has 10 scans, and encoders that tune their
// scripts stay near that; libjpeg-turbo's fuzzing allows 500 for pictures of
// at most one megapixel. Ours may have 268 megapixels, where one scan can
// take half a second.
constexpr int MaxJPEGScans = 100;

// Counts the start-of-scan markers from the stream's position on, walking
// the marker segments and skipping coded data as libjpeg does, without
// decoding. Stops at the end-of-image marker, at the end of the stream, once
// more than Limit scans are seen, or when Aborted, asked before each piece
// read, says yes. Stream errors pass unchanged.
int CountJPEGScans(TStream& Stream, int Limit, const std::function<bool()>& Aborted);

// The failure of a file with more than MaxJPEGScans scans, in the library's
// language, without the format's prefix.
std::string ScanLimitText();
