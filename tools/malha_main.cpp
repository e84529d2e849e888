// malha: prepares and checks the correction mesh of a workspace (see authoring/malha_cli.h).
#include "authoring/malha_cli.h"
#include "utilities/program_setup.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <string>

int main(int argc, char** argv)
{
    corretor::prepararPrograma();
    try {
        return corretor::executarMalha(argc, argv);
    } catch (const cv::Exception& e) {
        corretor::limparFalha();
        corretor::falhar(std::string("erro da biblioteca de imagens: ") + e.what());
        corretor::relatarFalha("malha");
        return corretor::kSaidaFalha;
    }
}
