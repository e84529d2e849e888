// corrigir-lote: corrects many images through the workspace's mesh, without questions.
#include "correction/batch_cli.h"
#include "utilities/program_setup.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <exception>
#include <string>

int main(int argc, char** argv)
{
    corretor::prepararPrograma();
    try {
        return corretor::executarLote(argc, argv);
    } catch (const cv::Exception& e) {
        corretor::falhar(std::string("erro da biblioteca de imagens: ") + e.what());
    } catch (const std::exception& e) {
        corretor::falhar(e.what());
    }
    corretor::relatarFalha("corrigir-lote");
    return 1;
}
