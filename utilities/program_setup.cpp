#include "utilities/program_setup.h"

#include "utilities/whole_file.h"

#include <opencv2/core/utils/logger.hpp>

namespace corretor {

void prepararPrograma()
{
    ignorarSinalDeTamanho();
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
}

} // namespace corretor
