// SPDX-License-Identifier: GPL-3.0-or-later
// kinoverd [FILE...]: the LAN video player.
#include "app/player_app.h"

int main(int argc, char** argv)
{
    kinoverd::PlayerApp application(argc, argv);
    return application.Run();
}
