# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by scripts that look at screenshots of the player on a 1024x768
# virtual screen without a window manager: where its windows stand there.
# Each is X Y WIDTH HEIGHT.

# The picture inside the video window.
picture=(324 144 377 302)
# The status pane of the main window, with the elapsed time.
status_pane=(290 480 187 60)
