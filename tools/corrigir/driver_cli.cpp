#include "tools/corrigir/driver_cli.h"

#include "correction/driver.h"
#include "utilities/command_line.h"

#include <cstdio>

namespace corretor {

const char* const kUsoInterpolado =
    "  --interpolado[=FILTRO]  a correção interpolada: cada pixel do resultado busca sua cor\n"
    "                          na imagem carregada, pelo inverso do mapa do seu triângulo,\n"
    "                          sem buracos; FILTRO é linear, cubico (o padrão) ou lanczos\n"
    "  --suave                 a correção interpolada por um mapa curvo que passa pelos mesmos\n"
    "                          nós, suave através das arestas dos triângulos (sem\n"
    "                          --interpolado, com o filtro cubico); onde ele dobraria, o\n"
    "                          triângulo fica com o mapa plano e um aviso diz quais\n";

namespace {

const char* const kUso =
    "uso: corrigir [--interpolado[=FILTRO]] [--suave]\n"
    "\n"
    "Corrige a imagem cujo nome é lido da entrada com a malha e o padrão da pasta de trabalho\n"
    "e grava o resultado em \"result.jpg\". Sem opção, cada pixel da imagem ampliada quatro\n"
    "vezes é levado adiante pelo mapa do seu triângulo.\n"
    "\n";

} // namespace

bool opcaoInterpolado(const std::string& argumento, std::optional<Interpolacao>& filtro)
{
    const std::string nome = "--interpolado";
    if (argumento.compare(0, nome.size(), nome) != 0) return false;
    const std::string resto = argumento.substr(nome.size());
    if (resto.empty() || resto == "=cubico")
        filtro = Interpolacao::Cubica;
    else if (resto == "=linear")
        filtro = Interpolacao::Linear;
    else if (resto == "=lanczos")
        filtro = Interpolacao::Lanczos;
    else if (resto[0] == '=')
        filtro.reset();
    else
        return false; // "--interpoladox" is another word
    return true;
}

std::string filtroDesconhecido(const std::string& argumento)
{
    return "filtro desconhecido em \"" + argumento + "\" (linear, cubico ou lanczos)";
}

int executarCorrigir(int argc, const char* const* argv)
{
    std::optional<Interpolacao> interpolacao;
    bool suave = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUso, stdout);
            std::fputs(kUsoInterpolado, stdout);
            return kSaidaOk;
        }
        if (opcaoInterpolado(a, interpolacao)) {
            if (!interpolacao) return erroDeUso("corrigir", filtroDesconhecido(a));
        } else if (a == "--suave") {
            suave = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return erroDeUso("corrigir", "opção desconhecida \"" + a + "\"");
        } else {
            return erroDeUso("corrigir", "argumento inesperado \"" + a +
                                             "\": o nome da imagem é lido da entrada");
        }
    }
    return executarCorrecao(modoPedido(interpolacao, suave));
}

} // namespace corretor
