// The player's run on Linux: the SDL window (its own, or one that another
// program made), the engine's messages, frames paced by a timer, and the end
// of the run by input, the window's end or a signal, with the full teardown.
#pragma once

#include "host/player_options.h"

namespace kelvo {

// SIGTERM (how screen-saver daemons end their programs), SIGINT and SIGHUP
// end the run through the normal teardown; SIGUSR1 brings the player's own
// full-screen window to the front. Installed before anything can send them.
void install_player_signal_handlers();

// Plays as the options say until the run ends; returns the exit status.
int run_player(const PlayerOptions& options);

}  // namespace kelvo
