#include "app/varnel.h"
#include "map/explorer.h"

int main(int argc, char** argv)
{
    InitMapBrowser();
    CVarnelApp app(argc, argv);
    return app.Run();
}
