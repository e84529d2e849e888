#include "utilities/program_setup.h"

#include "utilities/command_line.h"
#include "utilities/report.h"
#include "utilities/temporary_files.h"
#include "utilities/whole_file.h"

#include <opencv2/core/utils/logger.hpp>

#include <algorithm>
#include <cstdlib>
#include <sched.h>
#include <string>
#include <thread>

namespace corretor {

void prepararPrograma()
{
    ignorarSinalDeTamanho();
    apagarTemporariosNosSinais();
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    // Read by the library at its first decode.
    setenv("OPENCV_IO_MAX_IMAGE_PIXELS", std::to_string(kPixelsMaximos).c_str(), 0);
}

int nucleosDisponiveis()
{
    cpu_set_t conjunto;
    if (sched_getaffinity(0, sizeof conjunto, &conjunto) == 0)
        return std::max(1, CPU_COUNT(&conjunto));
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

int executarPrograma(const char* programa, const std::function<int()>& corpo)
{
    prepararPrograma();
    std::string motivo;
    try {
        return corpo();
    } catch (...) {
        motivo = motivoDaExcecao();
    }
    limparFalha();
    falhar(motivo);
    relatarFalha(programa);
    return kSaidaFalha;
}

} // namespace corretor
