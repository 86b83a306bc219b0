#pragma once
// Puts the command line's choices into the process-wide settings, format
// options and message language, once, before any job starts.

#include "clioptions.h"
#include "shrinkjob.h"

// Starts from the defaults, or from the stored settings with --use-settings,
// and applies the options on top. A palette file that cannot be loaded or
// has no palette raises its failure.
void ApplyCliOptions(const TCliOptions& Options);

// What the jobs read, taken from the settings as ApplyCliOptions left them.
TCliJobSettings CliJobSettings(const TCliOptions& Options);
