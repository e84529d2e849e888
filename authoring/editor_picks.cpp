#include "authoring/editor_picks.h"

#include "authoring/point_picking.h"
#include "correction/driver.h"
#include "mesh/paths.h"
#include "mesh/point_file.h"
#include "utilities/file_read.h"
#include "utilities/report.h"
#include "utilities/whole_file.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/imgproc/imgproc_c.h>

#include <algorithm>

namespace corretor {

std::vector<Marcacao> marcacoes;

namespace {

// The text of a pick file; "" for one that cannot be read (missing, or not a regular file,
// never waited on).
std::string lerTudo(const std::string& caminho)
{
    std::string texto, porque;
    lerArquivo(caminho, texto, kLimiteDeArquivoDaMalha, porque);
    return texto;
}

// The records of one pick file, numbered from 1; lines that are no record are passed over,
// and a file that cannot be read holds none.
void lerMarcas(const char* nome, bool noPadrao, char modo, bool comNumero)
{
    std::vector<LinhaDePontos> linhas;
    std::string porque;
    lerArquivoDePontos(caminhoLocal(nome), comNumero ? 3 : 2, linhas, porque);
    int numero = 0;
    for (const LinhaDePontos& linha : linhas) {
        if (!linha.registro) continue;
        const int* xy = linha.valores + (comNumero ? 1 : 0);
        marcacoes.push_back({noPadrao, modo, cvPoint(xy[0], xy[1]), nome, linha.texto + "\n",
                             ++numero, modo == 't' ? 2 : 1, false});
    }
}

int contar(bool noPadrao, char modo)
{
    return static_cast<int>(
        std::count_if(marcacoes.begin(), marcacoes.end(),
                      [&](const Marcacao& m) { return m.noPadrao == noPadrao && m.modo == modo; }));
}

// Removes the last element of `sequencia` equal to `p`.
void tirarDaSequencia(CvSeq* sequencia, CvPoint p)
{
    for (int i = sequencia->total - 1; i >= 0; --i) {
        const auto* q = reinterpret_cast<const CvPoint*>(cvGetSeqElem(sequencia, i));
        if (q->x == p.x && q->y == p.y) {
            cvSeqRemove(sequencia, i);
            return;
        }
    }
}

} // namespace

void lerMarcacoesDosArquivos()
{
    marcacoes.clear();
    lerMarcas("vertices.txt", false, 'n', false);
    lerMarcas("vertices2.txt", true, 'n', false);
    lerMarcas(arq2, true, 't', true);
}

int proximoNumero(bool noPadrao, char modo)
{
    return contar(noPadrao, modo) + 1;
}

int nosNaImagem()
{
    return contar(false, 'n');
}

int nosNoPadrao()
{
    return contar(true, 'n');
}

void numerar(IplImage* image, const Marcacao& m)
{
    cv::Mat imagem = cv::cvarrToMat(image);
    const std::string texto = std::to_string(m.numero);
    const cv::Point onde(m.ponto.x + 4, m.ponto.y - 4);
    cv::putText(imagem, texto, onde, cv::FONT_HERSHEY_PLAIN, 0.8, cv::Scalar(40, 40, 40), 3,
                cv::LINE_AA);
    cv::putText(imagem, texto, onde, cv::FONT_HERSHEY_PLAIN, 0.8, cv::Scalar(0, 230, 255), 1,
                cv::LINE_AA);
}

bool desfazerUltima(char modo, Marcacao& desfeita, std::string& motivo)
{
    const auto ultima = std::find_if(marcacoes.rbegin(), marcacoes.rend(), [&](const Marcacao& m) {
        return m.daSessao && m.modo == modo;
    });
    if (ultima == marcacoes.rend()) {
        motivo = "nenhuma marcação deste modo nesta sessão para desfazer";
        return false;
    }
    if (!ultima->arquivo.empty()) {
        const std::string caminho = caminhoLocal(ultima->arquivo.c_str());
        const std::string texto = lerTudo(caminho);
        const std::size_t corte = texto.size() - std::min(texto.size(), ultima->linha.size());
        if (texto.size() < ultima->linha.size() ||
            texto.compare(corte, std::string::npos, ultima->linha) != 0) {
            motivo = "\"" + caminho + "\" não termina mais com a linha \"" +
                     ultima->linha.substr(0, ultima->linha.size() - 1) + "\"; nada foi desfeito";
            return false;
        }
        if (!gravarArquivoInteiro(caminho, texto.substr(0, corte))) {
            motivo = motivoFalha(); // names the file and why
            limparFalha();
            return false;
        }
    }
    desfeita = *ultima;
    marcacoes.erase(std::next(ultima).base());
    if (desfeita.modo == 'p') {
        tirarDaSequencia(seq, desfeita.ponto);
        --count;
    } else if (desfeita.modo == 't') {
        tirarDaSequencia(seq2, desfeita.ponto);
        --t_count2;
    } else {
        tirarDaSequencia(seq, desfeita.ponto);
        if (desfeita.noPadrao) --t_count2;
    }
    return true;
}

void desenharMarcacoes()
{
    for (const Marcacao& m : marcacoes) {
        IplImage* image = m.noPadrao ? img2 : img;
        if (image == nullptr) continue;
        cvCircle(image, m.ponto, m.raio, cvScalar(0, 0, 255, 0), -1, CV_AA, 0);
        numerar(image, m);
    }
}

} // namespace corretor
