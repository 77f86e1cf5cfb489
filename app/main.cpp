// kinoverd [FILE...]: the LAN video player.
#include "app/player_app.h"

int main(int argc, char** argv)
{
    kinoverd::CPlayerApp application(argc, argv);
    return application.Run();
}
