#pragma once

#include "unzip/UnzipEngine.h"

#include <QString>
#include <cstdint>

class cUnzipFiles;
class IPrompt;

// The module between cUnzipFiles and the extraction engine: it fills the
// option record and the callback table, makes the call, and answers the
// engine's callbacks. Its state is shared by all instances and reset by each
// extraction; extractions are not re-entrant.

// Resets the module state, fills the record from the properties of files and
// the callback table, and returns the engine's code. A numeric option outside
// 16 bits raises RaisedError 6 ("Overflow") before the engine is called.
int32_t VBUnzip(const cUnzipFiles& files);

// The option record as VBUnzip fills it; raises like VBUnzip.
UnzipOptionRecord FillOptionRecord(const cUnzipFiles& files);
// The callback table: print, no sound, replace, password, list, service.
UnzipCallbackTable FillCallbackTable();

// The callbacks. The text they get is in the locale's 8-bit encoding.
// Appends the text (up to length or its first zero byte) to the printed text;
// a piece that begins with a line feed is taken as one CR LF. Returns 0.
int32_t UnzipPrint(const char* buffer, uint32_t length);
// Asks for a password through the prompt once per extraction at most after
// the user gave none: 1 (none), or 0 with the answer in buffer.
int32_t UnzipPassword(char* buffer, int32_t size, const char* prompt, const char* name);
// Asks "Overwrite <name>?": 102 yes, 100 no, 104 no to all.
int32_t UnzipReplace(const char* fileName);
// Accepts a member report of list mode; returns 0.
int32_t UnzipListMember(const UnzipMemberReport& member);
// Returns 0: go on.
int32_t UnzipService(const char* name, uint64_t size);

// The module state.
QString UnzipLastMessage();
QString UnzipPrintedText();
int16_t UnzipPasswordSkip();
// The prompt the callbacks ask; VBUnzip sets it for the length of the call.
// Null: passwords are answered empty, overwrite questions No.
void SetUnzipPrompt(IPrompt* prompt);
