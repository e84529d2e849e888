// corrigir-video: corrects every frame of a video through the workspace's mesh.
#include "tools/corrigir-video/video_cli.h"
#include "utilities/program_setup.h"

int main(int argc, char** argv)
{
    return corretor::executarPrograma("corrigir-video",
                                      [&] { return corretor::executarVideo(argc, argv); });
}
