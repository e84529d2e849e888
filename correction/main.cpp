// corrigir: corrects the distortion of one image through the workspace's mesh.
#include "correction/driver.h"
#include "utilities/program_setup.h"
#include "utilities/report.h"

#include <opencv2/core.hpp>

#include <string>

int main()
{
    corretor::prepararPrograma();
    try {
        return corretor::executarCorrecao();
    } catch (const cv::Exception& e) {
        corretor::falhar(std::string("erro da biblioteca de imagens: ") + e.what());
        corretor::relatarFalha("corrigir");
        return 1;
    }
}
