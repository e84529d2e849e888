// corrigir: corrects the distortion of one image through the workspace's mesh.
#include "correction/driver_cli.h"
#include "utilities/program_setup.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <string>

int main(int argc, char** argv)
{
    corretor::prepararPrograma();
    try {
        return corretor::executarCorrigir(argc, argv);
    } catch (const cv::Exception& e) {
        corretor::falhar(std::string("erro da biblioteca de imagens: ") + e.what());
        corretor::relatarFalha("corrigir");
        return 1;
    }
}
