// The Python module corretor: the correction of numpy arrays through a workspace's mesh, the
// comparison with the pattern, and the calibration of a mesh from a capture of the pattern, over
// the system's libraries (pybind11).
//
// Images are numpy arrays as the programs hold them: shape (rows, columns, 3), uint8, the
// samples of a pixel in blue, green, red order. An array whose rows hold their pixels packed
// (a C-ordered array, or a view of rows and columns of a larger one) is read in place; any
// other layout (columns or channels reversed or skipped, Fortran order) is copied first. A
// grey array of shape (rows, columns) or (rows, columns, 1) is taken as the programs take a
// grey file: each sample repeated three times. Anything else (another dtype, four channels, an
// empty array) is refused with ValueError; nothing is converted that could change a value.
//
// Errors raise ValueError (an argument that cannot be used) or OSError (a file or folder that
// cannot be read or written) with the system's Portuguese message; a correction that reaches no
// pixel of the field warns with RuntimeWarning. Corrections run without the interpreter's lock,
// so threads correct at once (correction/loaded_mesh.h says how meshes share the store).
#include "authoring/mesh_check.h"
#include "authoring/mesh_value.h"
#include "calibration/calibration.h"
#include "calibration/node_layout.h"
#include "calibration/self_check.h"
#include "correction/driver.h"
#include "correction/image_ops.h"
#include "correction/loaded_mesh.h"
#include "mesh/ampliacao.h"
#include "mesh/paths.h"
#include "utilities/quality.h"
#include "utilities/report.h"

#include <opencv2/imgproc.hpp>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace py = pybind11;
using namespace corretor;

namespace {

// The reason recorded on this thread, then forgotten.
std::string motivoRegistrado()
{
    std::string motivo = houveFalha() ? motivoFalha() : "falha sem motivo registrado";
    limparFalha();
    return motivo;
}

[[noreturn]] void erroDeArquivo(const std::string& motivo)
{
    PyErr_SetString(PyExc_OSError, motivo.c_str());
    throw py::error_already_set();
}

// Runs `trabalho` without the interpreter's lock, its exceptions (the image library's, a lack of
// memory) recorded as the reason. Returns what it returns, or false.
bool semATrava(const std::function<bool()>& trabalho)
{
    const py::gil_scoped_release livre;
    limparFalha();
    try {
        return trabalho();
    } catch (...) {
        falhar(motivoDaExcecao());
    }
    return false;
}

// An image argument as an 8-bit, 3-channel picture, and what holds its memory.
struct ImagemDoPython
{
    py::array dono;
    cv::Mat pixels;
};

ImagemDoPython lerImagem(const py::handle& objeto, const std::string& nome)
{
    ImagemDoPython imagem;
    imagem.dono = py::array::ensure(objeto);
    if (!imagem.dono) throw py::value_error(nome + ": é preciso um array numpy");
    const py::array& a = imagem.dono;
    if (a.dtype().kind() != 'u' || a.itemsize() != 1)
        throw py::value_error(nome + ": a imagem deve ser uint8 (amostras de 0 a 255), não " +
                              py::str(a.dtype()).cast<std::string>());
    const bool cinza = a.ndim() == 2 || (a.ndim() == 3 && a.shape(2) == 1);
    if (!cinza && !(a.ndim() == 3 && a.shape(2) == 3)) {
        std::string forma;
        for (py::ssize_t d = 0; d < a.ndim(); ++d)
            forma += (d == 0 ? "" : ", ") + std::to_string(a.shape(d));
        throw py::value_error(nome +
                              ": a imagem deve ter a forma (linhas, colunas, 3), em azul, "
                              "verde e vermelho, ou (linhas, colunas) em cinza; não (" +
                              forma + (a.ndim() == 1 ? ",)" : ")"));
    }
    const py::ssize_t linhas = a.shape(0), colunas = a.shape(1);
    if (linhas == 0 || colunas == 0) throw py::value_error(nome + ": a imagem está vazia");
    if (linhas > INT_MAX / 3 / colunas)
        throw py::value_error(nome + ": a imagem de " + std::to_string(colunas) + "x" +
                              std::to_string(linhas) + " pixels é grande demais");
    const int h = static_cast<int>(linhas), w = static_cast<int>(colunas);
    if (!cinza && a.strides(2) == 1 && a.strides(1) == 3 && a.strides(0) >= 3 * colunas &&
        a.strides(0) <= INT_MAX / linhas) {
        // Read in place: the rows may lie anywhere apart, as in a view of a larger image.
        imagem.pixels = cv::Mat(h, w, CV_8UC3, const_cast<void*>(a.data()),
                                static_cast<std::size_t>(a.strides(0)));
        return imagem;
    }
    imagem.dono = py::array_t<std::uint8_t, py::array::c_style>::ensure(a);
    const cv::Mat contigua(h, w, cinza ? CV_8UC1 : CV_8UC3, const_cast<void*>(imagem.dono.data()));
    if (cinza)
        cv::cvtColor(contigua, imagem.pixels, cv::COLOR_GRAY2BGR);
    else
        imagem.pixels = contigua;
    return imagem;
}

// A new array holding the image's pixels.
py::array_t<std::uint8_t> paraArray(const IplImage* image)
{
    py::array_t<std::uint8_t> array({image->height, image->width, 3});
    const cv::Mat origem = cv::cvarrToMat(image);
    origem.copyTo(cv::Mat(image->height, image->width, CV_8UC3, array.mutable_data()));
    return array;
}

// The mode of the arguments interpolado and suave, as the programs read --interpolado and
// --suave: suave alone asks for the cubic filter.
std::optional<ModoInterpolado> lerInterpolado(const py::object& interpolado, bool suave)
{
    if (interpolado.is_none()) return modoPedido(std::nullopt, suave);
    if (py::isinstance<py::bool_>(interpolado))
        return modoPedido(
            interpolado.cast<bool>() ? std::optional(Interpolacao::Cubica) : std::nullopt, suave);
    if (py::isinstance<py::str>(interpolado)) {
        const std::string filtro = interpolado.cast<std::string>();
        if (filtro == "cubico") return modoPedido(Interpolacao::Cubica, suave);
        if (filtro == "linear") return modoPedido(Interpolacao::Linear, suave);
        if (filtro == "lanczos") return modoPedido(Interpolacao::Lanczos, suave);
    }
    throw py::value_error("interpolado: filtro desconhecido " +
                          py::repr(interpolado).cast<std::string>() +
                          " (None, \"linear\", \"cubico\" ou \"lanczos\")");
}

// A mesh of Python: read from a workspace, or made by calibrar (and then also kept as the mesh
// being built, which gravar writes as "malha calibrar" writes it).
struct Malha
{
    std::unique_ptr<MalhaCarregada> carregada;
    std::optional<MalhaNova> nova;
    std::string pasta; // the folder it was read from, or ""
};

std::unique_ptr<Malha> carregarMalha(const std::filesystem::path& pasta)
{
    auto malha = std::make_unique<Malha>();
    malha->pasta = pasta.string();
    if (!semATrava([&] {
            malha->carregada = MalhaCarregada::carregar(malha->pasta);
            return malha->carregada != nullptr;
        }))
        erroDeArquivo(motivoRegistrado());
    return malha;
}

// The steps of "malha calibrar" between the two pictures and the files: the nodes found in the
// capture, their triangles and maps.
std::unique_ptr<Malha> calibrar(const py::object& padrao, const py::object& captura, int nos,
                                const py::object& giro, bool forcar)
{
    if (nos < kMenosNos || nos > kMaisNos)
        throw py::value_error("nos: um número de " + std::to_string(kMenosNos) + " a " +
                              std::to_string(kMaisNos) + ", não " + std::to_string(nos));
    const ImagemDoPython p = lerImagem(padrao, "padrao");
    const ImagemDoPython c = lerImagem(captura, "captura");
    double giroEmGraus = 0;
    if (!giro.is_none()) {
        giroEmGraus = py::cast<double>(giro);
        if (!std::isfinite(giroEmGraus))
            throw py::value_error("giro: um número de graus, não " +
                                  py::str(giro).cast<std::string>());
    }
    auto malha = std::make_unique<Malha>();
    if (!semATrava([&] {
            MalhaNova nova;
            nova.destino = escolherNosDeDestino(nos);
            std::vector<NoCalibrado> calibrados;
            RelatorioDeCalibracao relatorio;
            OpcoesDeCalibracao opcoes;
            opcoes.comGiro = !giro.is_none();
            if (opcoes.comGiro) opcoes.giro = giroEmGraus;
            const auto semLinhas = [](const std::string&) {}; // no console here
            if (!calibrarCaptura(p.pixels, c.pixels, "captura", nova.destino, opcoes, calibrados,
                                 relatorio, semLinhas))
                return false;
            for (const auto& no : calibrados)
                nova.origem.push_back(paraAmpliada(no.captura));
            if (!triangular(nova)) return false;
            gerarMapas(nova);
            for (const auto& aviso : relatorio.avisos)
                avisar(aviso);
            // Checked against the capture as "malha calibrar" checks it before writing.
            std::vector<cv::Point2d> origem;
            for (const cv::Point& v : nova.origem)
                origem.push_back(daAmpliada(v));
            std::vector<std::array<int, 3>> triangulos(nova.triangulos.begin(),
                                                       nova.triangulos.end());
            const ConferenciaDaMalha conferencia =
                conferirMalha(p.pixels, c.pixels, "captura", nova.destino, origem, triangulos);
            for (const auto& aviso : conferencia.avisos)
                avisar(aviso);
            if (!conferencia.confere) {
                if (!forcar) {
                    falhar(conferencia.motivo + " (forcar=True a aceita assim mesmo)");
                    return false;
                }
                avisar(conferencia.motivo + "; aceita assim mesmo (forcar=True)");
            }
            malha->carregada = MalhaCarregada::doArmazem(
                [&nova] {
                    carregarNasTabelas(nova);
                    return true;
                },
                p.pixels);
            malha->nova = std::move(nova);
            return malha->carregada != nullptr;
        }))
        throw py::value_error(motivoRegistrado());
    return malha;
}

void gravar(const Malha& malha, const std::filesystem::path& pasta, bool substituir)
{
    if (!malha.nova)
        throw py::value_error("esta malha foi lida de \"" + malha.pasta +
                              "\"; só uma malha feita por corretor.calibrar é gravada");
    const std::string destino = pasta.string();
    if (!substituir)
        for (const std::string& nome : nomesDaMalha()) {
            std::error_code erro;
            if (std::filesystem::exists(pasta / nome, erro))
                erroDeArquivo("\"" + (pasta / nome).string() +
                              "\" já existe; para trocar a malha, use substituir=True");
        }
    Verificacao verificacao;
    if (!semATrava(
            [&] { return verificarEGravar(*malha.nova, kTodaAMalha, verificacao, destino); })) {
        const std::string motivo = motivoRegistrado();
        if (verificacao.problemas() > 0) throw py::value_error(motivo);
        erroDeArquivo(motivo);
    }
}

py::array_t<std::uint8_t> corrigir(Malha& malha, const py::object& img,
                                   const py::object& interpolado, bool suave)
{
    const ImagemDoPython imagem = lerImagem(img, "img");
    const std::optional<ModoInterpolado> modo = lerInterpolado(interpolado, suave);
    Imagem corrigida;
    bool colocouAlgum = true;
    if (!semATrava([&] {
            const IplImage cabecalho = cvIplImage(imagem.pixels);
            corrigida = malha.carregada->corrigir(&cabecalho, modo, &colocouAlgum);
            return corrigida != nullptr;
        }))
        throw py::value_error(motivoRegistrado());
    const std::vector<int> planos = malha.carregada->planosPorAvisar();
    if (!planos.empty() &&
        PyErr_WarnEx(PyExc_RuntimeWarning, avisoDePlanos(planos).c_str(), 1) != 0)
        throw py::error_already_set();
    if (!colocouAlgum && PyErr_WarnEx(PyExc_RuntimeWarning, avisoDeCampoVazio().c_str(), 1) != 0)
        throw py::error_already_set();
    return paraArray(corrigida.get());
}

Qualidade comparar(const Malha& malha, const py::object& resultado, const py::object& padrao)
{
    const ImagemDoPython r = lerImagem(resultado, "resultado");
    std::optional<ImagemDoPython> p;
    if (!padrao.is_none()) p = lerImagem(padrao, "padrao");
    Qualidade qualidade{};
    if (!semATrava([&] {
            const IplImage cabecalho = cvIplImage(r.pixels);
            if (!p) return avaliarCorrecao(&cabecalho, malha.carregada->padrao(), qualidade);
            const IplImage outro = cvIplImage(p->pixels);
            return avaliarCorrecao(&cabecalho, &outro, qualidade);
        }))
        throw py::value_error(motivoRegistrado());
    return qualidade;
}

py::array_t<std::uint8_t> abrirImagem(const std::filesystem::path& nome)
{
    Imagem imagem;
    if (!semATrava([&] {
            imagem = abrir(nome.c_str());
            return imagem != nullptr;
        }))
        erroDeArquivo(motivoRegistrado());
    return paraArray(imagem.get());
}

void salvarImagem(const std::filesystem::path& nome, const py::object& img)
{
    const ImagemDoPython imagem = lerImagem(img, "img");
    if (!semATrava([&] {
            const IplImage cabecalho = cvIplImage(imagem.pixels);
            return save(nome.c_str(), &cabecalho);
        }))
        erroDeArquivo(motivoRegistrado());
}

} // namespace

PYBIND11_MODULE(corretor, m)
{
    m.doc() = "Correção da distorção de imagens de campo circular por uma malha de triângulos.\n"
              "Imagens são arrays numpy uint8 de forma (linhas, colunas, 3), em azul, verde e "
              "vermelho.";

    py::class_<Qualidade>(m, "Qualidade", "A qualidade de uma correção dentro do campo.")
        .def_readonly("psnr", &Qualidade::psnr, "PSNR em dB; infinito quando iguais")
        .def_readonly("diferenca", &Qualidade::diferenca, "diferença absoluta média, 0 a 255")
        .def_readonly("cobertura", &Qualidade::cobertura,
                      "fração dos pixels do campo que a correção alcançou, 0 a 1")
        .def_readonly("pixels_do_campo", &Qualidade::pixelsDoCampo)
        .def("__repr__", [](const Qualidade& q) {
            char texto[160];
            std::snprintf(texto, sizeof texto,
                          "Qualidade(psnr=%.2f, diferenca=%.2f, cobertura=%.4f, "
                          "pixels_do_campo=%d)",
                          q.psnr, q.diferenca, q.cobertura, q.pixelsDoCampo);
            return std::string(texto);
        });

    py::class_<Malha>(m, "Malha",
                      "A malha e o padrão de uma pasta de trabalho, carregados uma vez.")
        .def(py::init(&carregarMalha), py::arg("pasta"),
             "Carrega a malha (data/, matrix/) e o padrão (data/pattern.jpg) da pasta, sem mudar "
             "a pasta de trabalho do processo. OSError quando algum arquivo não se pode ler.")
        .def("corrigir", &corrigir, py::arg("img"), py::arg("interpolado") = py::none(),
             py::arg("suave") = false,
             "A imagem corrigida, do tamanho do padrão, com os mesmos pixels que corrigir e "
             "corrigir-lote dão a ela antes de gravá-la. interpolado: None (a correção direta), "
             "\"linear\", \"cubico\" (ou True) ou \"lanczos\". suave: a correção interpolada "
             "pelo mapa curvo que passa pelos mesmos nós, como --suave (sem interpolado, com o "
             "filtro cubico); onde ele dobraria, o triângulo fica com o mapa plano e um "
             "RuntimeWarning, uma vez por malha, diz quais.")
        .def("comparar", &comparar, py::arg("resultado"), py::arg("padrao") = py::none(),
             "PSNR, diferença e cobertura de um resultado contra o padrão (o da malha, quando "
             "padrao é None), dentro do campo, como o programa comparar.")
        .def("gravar", &gravar, py::arg("pasta"), py::arg("substituir") = false,
             "Grava a malha feita por calibrar na pasta (data/ e matrix/, criadas se faltarem) "
             "como \"malha calibrar\" a grava: todos os arquivos juntos, só depois que a "
             "verificação passa (ValueError quando não passa). Sem substituir, OSError quando a "
             "pasta já tem algum arquivo de malha. O padrão não é gravado: a pasta precisa do "
             "seu data/pattern.jpg.")
        .def_property_readonly(
            "padrao", [](const Malha& malha) { return paraArray(malha.carregada->padrao()); },
            "Uma cópia do padrão.");

    m.def("calibrar", &calibrar, py::arg("padrao"), py::arg("captura"), py::arg("nos") = kMaisNos,
          py::arg("giro") = py::none(), py::arg("forcar") = false,
          "A malha de \"malha calibrar\": os nós achados numa captura do padrão feita pelo "
          "aparelho, seus triângulos e mapas, conferida com a captura. giro: o giro aproximado "
          "da captura em graus (--giro), para um padrão que parece o mesmo girado; forcar: "
          "aceita uma malha que não confere com a captura (--forcar). ValueError quando a "
          "captura não serve ou a malha não confere.");

    m.def("abrir", &abrirImagem, py::arg("nome"),
          "Lê um arquivo de imagem como os programas o leem: sempre 8 bits e 3 canais. OSError "
          "quando não se pode ler ou está danificado.");
    m.def("salvar", &salvarImagem, py::arg("nome"), py::arg("img"),
          "Grava a imagem no formato da extensão do nome (JPEG para .jpg, como result.jpg), "
          "inteira ou nada. OSError quando não se pode gravar.");
}
