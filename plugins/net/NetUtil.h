// Small pieces the network plug-ins share: the stored form of passwords,
// the file-mask match used on remote listings, and the directory ending
// rule for local folders.
#pragma once

#include <string>

// The stored form of a password: five decimal digits per 16-bit word of
// its length-prefixed form. Job files keep this form, so it never changes.
std::string ScramblePassword(const std::string& password);
// The password back from its stored form. Damaged input (a length that is
// not a multiple of five, characters other than digits, groups out of
// range) gives what decoded cleanly before the damage, never more.
std::string UnscramblePassword(const std::string& scrambled);

// Matches a file name against a mask such as "*.zip": the part before the
// last "." and the extension are matched separately ("*" any run, "?" one
// character, letters without regard to case); a name without "." has the
// extension ".", so "*" matches only names without an extension.
bool MatchFileMask(const std::string& mask, const std::string& name);

// A local folder ready to have a file name appended: a backslash is added
// unless it ends in a backslash or a colon; a lone drive letter gets ":\".
// An empty folder stays empty.
std::string JoinFolder(const std::string& folder);

// A name from a server's listing that may be used as a local file name as
// it is: no path, no drive, no control or wildcard characters, not "." or
// "..", no device name.
bool PlainFileName(const std::string& name);
