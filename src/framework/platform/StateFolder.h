#pragma once

#include <string>

// The program's folder for state kept across runs, after the XDG base directories:
// $XDG_STATE_HOME/orvane-notepad when that is an absolute path, else
// $HOME/.local/state/orvane-notepad. Missing folders are made with mode 0700; the
// folder must be the user's own (it is made 0700). Empty when there is no home or
// the folder cannot be made or used.
std::string StateFolder();
