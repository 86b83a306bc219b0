#pragma once
// The format registry: the registered readers and writers, recognition of a
// stream's format by content (or, failing that, by extension), and the
// filter strings of the file dialogs.

#include <string>

#include "fileformat.h"

class TStream;

// Filled on first use and kept until the library shuts down. Alphabetical by
// extension once SortFileFormats has run.
TFileFormatReaders& FileFormatReaders();
TFileFormatWriters& FileFormatWriters();
// A BMP writer outside the lists, so that BMP data can be written whatever
// the lists hold.
TFileFormatWriter& SpareBMPWriter();

// Sorts by lower-cased extension unless the list is in that order already.
void SortFileFormats(TFileFormatReaders& List);
void SortFileFormats(TFileFormatWriters& List);

// The first reader whose signature accepts the stream's first bytes; else,
// among readers without a signature, the one for Extension (case-insensitive,
// a leading dot allowed). The stream position is kept. Null when none fits.
TFileFormatReader* FindReader(TStream& Stream, std::string Extension,
                              TFileFormatReaders& Readers = FileFormatReaders());
// The writer for Extension (case-insensitive); null when there is none.
TFileFormatWriter* FindWriter(const std::string& Extension, TFileFormatWriters& Writers = FileFormatWriters());

// Describes image Index of a file without decoding it; false on any failure.
bool GetFileFormatInfo(const std::string& FileName, int Index, TFileFormatInfo& Info);

// Filter strings of the open and save dialogs: text and pattern pairs joined by "|".
std::string GetOpenFilter(TFileFormatReaders& Readers = FileFormatReaders());
std::string GetSaveFilter(TFileFormatWriters& Writers = FileFormatWriters());
// Extension of the entry at a 1-based filter index; empty when no entry is there.
std::string OpenFilterExtension(int FilterIndex, TFileFormatReaders& Readers = FileFormatReaders());
std::string SaveFilterExtension(int FilterIndex, TFileFormatWriters& Writers = FileFormatWriters());
// Save filter index of the writer for Extension; 0 when no listed writer has it.
int SaveFilterIndex(const std::string& Extension, TFileFormatWriters& Writers = FileFormatWriters());

// Text after the last "." of the file's name part, lower-cased; empty without one.
std::string FileNameExtension(const std::string& FileName);
