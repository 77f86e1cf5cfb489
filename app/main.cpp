// kinoverd [FILE...]: the LAN video player.
#include "app/player_app.h"

int main(int argc, char** argv)
{
    kinoverd::PlayerApp application(argc, argv);
    return application.Run();
}
