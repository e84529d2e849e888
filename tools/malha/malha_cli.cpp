#include "tools/malha/malha_cli.h"

#include "utilities/report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace corretor {

namespace {

// New subcommands go here, in the order "malha --help" lists them.
const Subcomando kSubcomandos[] = {
    {"triangular", "grava \"data/quelvarina.txt\" triangulando os nós de destino",
     "uso: malha triangular [--substituir]\n"
     "\n"
     "Lê os nós de \"data/verticesamp4.txt\" (origem) e \"data/vertices2.txt\" (destino), que\n"
     "devem ter o mesmo número de nós (de 3 a 63, sem dois nós na mesma posição de destino),\n"
     "triangula os nós de destino (Delaunay) e grava os triângulos, com os números dos nós\n"
     "contados de 1, em \"data/quelvarina.txt\". Recusa mais de 99 triângulos.\n"
     "\n"
     "  --substituir   substitui um \"data/quelvarina.txt\" que já exista\n",
     malhaTriangular},
    {"matrizes", "grava os mapas afins \"matrix/0.txt\" a \"matrix/98.txt\"",
     "uso: malha matrizes [--substituir]\n"
     "\n"
     "Lê os dois arquivos de vértices e \"data/quelvarina.txt\", cria a pasta \"matrix\" se\n"
     "faltar e grava em \"matrix/<t>.txt\" o mapa afim de cada triângulo t (0 a 98). Sem\n"
     "opção, os mapas são anexados aos arquivos; como o programa de correção lê só as duas\n"
     "primeiras linhas de cada um, mapas já existentes continuam valendo.\n"
     "\n"
     "  --substituir   troca os 99 arquivos pelos mapas novos, todos juntos ou nenhum\n",
     malhaMatrizes},
    {"verificar", "relata o que houver de errado na malha antes de uma correção",
     "uso: malha verificar\n"
     "\n"
     "Lê os arquivos da malha e relata: número de nós e de triângulos (e se o programa de\n"
     "correção pedirá o nome da imagem), nós inexistentes, triângulos degenerados, dobras\n"
     "(sentido invertido entre origem e destino), sobreposições na malha de origem, arquivos\n"
     "de matriz ausentes, curtos, não finitos ou com mais de duas linhas, e o desvio de cada\n"
     "mapa: a maior distância, em pixels, entre os vértices de origem levados pelo mapa e os\n"
     "de destino. Sai com 0 quando está tudo certo e 1 quando não.\n",
     malhaVerificar},
    {"calibrar", "faz a malha inteira a partir de uma foto do padrão",
     "uso: malha calibrar CAPTURA [--nos N] [--giro GRAUS] [--substituir] [--forcar]\n"
     "                    [--imagem ARQUIVO]\n"
     "\n"
     "CAPTURA é uma foto de \"data/pattern.jpg\" tirada pelo mesmo aparelho das imagens a\n"
     "corrigir, com o campo inteiro à vista. Escolhe os nós de destino no padrão (um anel\n"
     "além da borda do campo, para que os triângulos o cubram todo), acha cada um na captura\n"
     "com precisão de fração de pixel (estimativa global, modelo suave da lente, casamento\n"
     "local) e grava \"data/verticesamp4.txt\", \"data/vertices2.txt\",\n"
     "\"data/quelvarina.txt\" e \"matrix/0.txt\" a \"matrix/98.txt\", depois de passarem na\n"
     "verificação de \"malha verificar\" e na conferência com a própria captura (corrigida\n"
     "pela malha, ela deve mostrar o padrão no lugar, região por região). Relata os nós\n"
     "achados, os trocados pela previsão do modelo e o maior desacordo com ele. Recusa (nada\n"
     "é gravado) uma captura que não mostre o padrão, em que o padrão não cubra o campo, em\n"
     "que poucos nós se achem, ou de um padrão simétrico cujo giro ela não mostre.\n"
     "\n"
     "  --nos N          N nós (10 a 63; 63 sem a opção)\n"
     "  --giro GRAUS     o giro aproximado da captura, no sentido horário: escolhe entre os\n"
     "                   giros que um padrão simétrico não distingue\n"
     "  --substituir     troca uma malha que já exista, todos os arquivos juntos ou nenhum\n"
     "  --forcar         grava a malha mesmo que ela não confira com a captura (com aviso)\n"
     "  --imagem ARQUIVO grava a captura com a malha achada ao lado do padrão com a malha\n"
     "                   de destino (nunca sobre um arquivo da área de trabalho)\n",
     malhaCalibrar},
    {"refinar", "aproxima os nós marcados à mão dos pontos que a captura mostra",
     "uso: malha refinar CAPTURA [--raio R] [--forcar]\n"
     "\n"
     "Para uma malha marcada à mão (10 nós ou mais): mantém \"data/vertices2.txt\" e\n"
     "\"data/quelvarina.txt\" e leva cada nó de \"data/verticesamp4.txt\" ao lugar, a até R\n"
     "pixels da CAPTURA (8 sem a opção), onde ela mais se parece com a vizinhança do nó no\n"
     "padrão; um nó marcado fora da captura, ou longe de onde os outros o põem, é nomeado e\n"
     "levado ao que a captura mostra, mesmo mais longe. Lista cada movimento com sua\n"
     "confiança e os nós sem casamento, que ficam onde estavam; depois regrava os mapas\n"
     "\"matrix/0.txt\" a \"matrix/98.txt\" (como \"malha matrizes --substituir\"). Grava\n"
     "tudo junto, só se passar na verificação e na conferência com a captura, e recusa o que\n"
     "\"malha calibrar\" recusa e nós marcados girados ou deslocados em relação à captura.\n"
     "\n"
     "  --raio R   distância máxima de busca, em pixels da captura (1 a 100)\n"
     "  --forcar   grava mesmo que a malha não confira com a captura (com aviso)\n",
     malhaRefinar},
    {"desenhar", "grava as duas malhas desenhadas sobre as imagens, sem janela",
     "uso: malha desenhar IMAGEM\n"
     "\n"
     "Desenha a malha de origem (\"data/verticesamp4.txt\") sobre IMAGEM ampliada quatro\n"
     "vezes e grava \"malha-origem.png\"; desenha a malha de destino (\"data/vertices2.txt\")\n"
     "sobre \"data/pattern.jpg\" e grava \"malha-destino.png\". Os triângulos são os de\n"
     "\"data/quelvarina.txt\": nós em vermelho, arestas em azul (origem) ou ciano (destino) e\n"
     "o número de cada triângulo, em amarelo, no seu centro. Não precisa de tela.\n",
     malhaDesenhar},
    {"editar", "janela para marcar os nós e os triângulos da malha com o mouse", kAjudaEditar,
     malhaEditar},
    {"demo", "cria uma área de trabalho de demonstração completa",
     "uso: malha demo PASTA\n"
     "\n"
     "Cria na PASTA (nova, ou já existente mas vazia) tudo o que o programa de correção\n"
     "lê, sempre com os mesmos bytes:\n"
     "  data/pattern.jpg   um padrão sintético de 436x436: quadrantes coloridos, grade, anéis\n"
     "                     e raios dentro do círculo do campo\n"
     "  amostra.jpg        o padrão visto por uma lente com distorção em barril, um pequeno\n"
     "                     giro e um deslocamento, em 200x200: a imagem a corrigir\n"
     "  data/verticesamp4.txt, data/vertices2.txt\n"
     "                     63 nós: onde a lente os põe na imagem ampliada quatro vezes, e no\n"
     "                     padrão\n"
     "  data/quelvarina.txt, matrix/0.txt a matrix/98.txt\n"
     "                     feitos como \"malha triangular\" e \"malha matrizes\" os fazem\n"
     "A área só aparece na PASTA depois de completa e verificada; se algo falhar, nada fica.\n"
     "Para corrigir a amostra: cd PASTA && echo amostra.jpg | corrigir\n",
     malhaDemo},
    {"padrao", "grava o padrão feito para a calibração e uma folha para imprimi-lo",
     "uso: malha padrao [--mm MM] [--dpi DPI] [--folha ARQUIVO] [--substituir]\n"
     "\n"
     "Grava \"data/pattern.jpg\" (436x436): textura densa em várias escalas, sem repetição e\n"
     "sem simetria, para que cada nó se ache sozinho na captura, com o círculo do campo\n"
     "desenhado. Grava também a folha para imprimir (\"padrao-para-imprimir.png\", ou\n"
     "ARQUIVO): o padrão com MM milímetros de lado (150 sem a opção) a DPI pontos por\n"
     "polegada (300), margem branca e uma escala em centímetros para conferir a impressão.\n"
     "Um \"data/pattern.jpg\" que já exista só é trocado com --substituir: as malhas feitas\n"
     "com ele dependem dele.\n",
     malhaPadrao},
};

void imprimirAjuda(FILE* saida)
{
    std::fprintf(saida, "uso: malha <subcomando> [opções]\n"
                        "\n"
                        "Prepara e confere, na pasta de trabalho, a malha que o programa de "
                        "correção lê.\n"
                        "\n"
                        "subcomandos:\n");
    for (const auto& s : kSubcomandos)
        std::fprintf(saida, "  %-12s %s\n", s.nome, s.resumo);
    std::fprintf(saida, "\n"
                        "Cada subcomando aceita --help. A partir dos dois arquivos de vértices:\n"
                        "  malha triangular && malha matrizes && malha verificar\n"
                        "Para experimentar sem ter uma malha: malha demo PASTA\n");
}

bool pedeAjuda(const Argumentos& argumentos)
{
    return std::any_of(argumentos.begin(), argumentos.end(),
                       [](const std::string& a) { return a == "--help" || a == "-h"; });
}

} // namespace

bool lerOpcoes(const Argumentos& argumentos, const std::vector<std::string>& conhecidas,
               std::vector<std::string>& dadas, Argumentos& palavras)
{
    for (const auto& a : argumentos) {
        if (a.size() < 2 || a[0] != '-') {
            palavras.push_back(a);
        } else if (std::find(conhecidas.begin(), conhecidas.end(), a) != conhecidas.end()) {
            dadas.push_back(a);
        } else {
            falhar("opção desconhecida \"" + a + "\"");
            return false;
        }
    }
    return true;
}

bool lerSoOpcoes(const Argumentos& argumentos, const std::vector<std::string>& conhecidas,
                 std::vector<std::string>& dadas)
{
    Argumentos palavras;
    if (!lerOpcoes(argumentos, conhecidas, dadas, palavras)) return false;
    if (palavras.empty()) return true;
    falhar("argumento inesperado \"" + palavras[0] + "\"");
    return false;
}

bool lerUmaPalavra(const Argumentos& argumentos, const char* oQueFalta, std::string& palavra)
{
    std::vector<std::string> opcoes;
    Argumentos palavras;
    if (!lerOpcoes(argumentos, {}, opcoes, palavras)) return false;
    if (palavras.size() != 1 || palavras[0].empty()) {
        falhar(palavras.size() > 1 ? "argumento inesperado \"" + palavras[1] + "\""
                                   : std::string("falta ") + oQueFalta);
        return false;
    }
    palavra = palavras[0];
    return true;
}

int executarMalha(int argc, const char* const* argv)
{
    limparFalha();
    if (argc < 2) {
        imprimirAjuda(stderr);
        return kSaidaUso;
    }
    const std::string nome = argv[1];
    if (nome == "--help" || nome == "-h") {
        imprimirAjuda(stdout);
        return kSaidaOk;
    }
    const auto* fim = std::end(kSubcomandos);
    const auto* s = std::find_if(std::begin(kSubcomandos), fim,
                                 [&](const Subcomando& c) { return nome == c.nome; });
    if (s == fim) return erroDeUso("malha", "subcomando desconhecido \"" + nome + "\"");

    const Argumentos argumentos(argv + 2, argv + argc);
    if (pedeAjuda(argumentos)) {
        std::fputs(s->ajuda, stdout);
        return kSaidaOk;
    }
    const int status = s->executar(argumentos);
    if (status == kSaidaUso) return erroDeUso("malha", motivoFalha());
    if (status != kSaidaOk && houveFalha()) relatarFalha("malha");
    return status;
}

} // namespace corretor
