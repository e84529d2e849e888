#include "calibration/sintetica/capture_classes.h"

#include "calibration/sintetica/demo_scene.h"
#include "utilities/angles.h"
#include "utilities/field.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace corretor {

namespace {

// A mild lens, as a phone or a microscope camera has: some barrel, a little tangential.
Lente lenteBranda(double giroGraus, double escala, double k1 = -0.06)
{
    Lente l;
    l.k1 = k1;
    l.k2 = 0.01;
    l.p1 = 0.002;
    l.p2 = -0.001;
    l.angulo = emRadianos(giroGraus);
    l.escala = escala;
    return l;
}

// Places the capture about `caixa` (capture pixels, the field centre at the origin): the
// capture `folga` times its width and height (at least `aspecto` wide for one high), the box a
// little off its middle, by `deriva` of the spare room.
void enquadrar(Caso& c, const cv::Rect2d& caixa, double folga, double aspecto, cv::Point2d deriva)
{
    const double altura = caixa.height * folga;
    const double largura = std::max(caixa.width * folga, aspecto * altura);
    c.tamanho =
        cv::Size(static_cast<int>(std::ceil(largura)) + 2, static_cast<int>(std::ceil(altura)) + 2);
    const cv::Point2d sobra(c.tamanho.width - caixa.width, c.tamanho.height - caixa.height);
    c.lente.centro =
        cv::Point2d(sobra.x * (0.5 + deriva.x) - caixa.x, sobra.y * (0.5 + deriva.y) - caixa.y);
}

// A photograph of a printed target, whole, the sheet's edge in view.
Caso alvoInteiro(TipoDePadrao alvo, double escala, double giroGraus, int indice)
{
    Caso c;
    c.padrao = alvo;
    c.lente = lenteBranda(giroGraus, escala, -0.04 - 0.01 * (indice % 4));
    c.ruido = 2;
    c.desfoque = 0.5;
    c.qualidade = 90;
    c.vinheta = 0.15;
    c.sementeDoRuido = 100 + indice;
    enquadrar(c, retanguloDoPadrao(c.lente, 20), 1.15, 4.0 / 3,
              cv::Point2d(0.1 * ((indice % 3) - 1), 0.1 * ((indice % 2) ? 1 : -1)));
    return c;
}

// A capture through a device whose field fills most of the frame.
Caso doCampo(TipoDePadrao padrao, double escala, double giroGraus, int indice, double folga = 1.25)
{
    Caso c;
    c.padrao = padrao;
    c.sementeDoPadrao = 30 + indice;
    c.lente = lenteBranda(giroGraus, escala, -0.08);
    c.ruido = 2;
    c.qualidade = 90;
    c.vinheta = 0.2;
    c.sementeDoRuido = 200 + indice;
    enquadrar(c, retanguloDoCampo(c.lente), folga, 1, cv::Point2d(0.15 * ((indice % 3) - 1), 0.1));
    return c;
}

std::vector<Caso> xadrezes()
{
    std::vector<Caso> casos;
    const TipoDePadrao alvos[] = {TipoDePadrao::XadrezQuadrado, TipoDePadrao::XadrezQuadradoLiso,
                                  TipoDePadrao::XadrezOblongo, TipoDePadrao::XadrezOblongoLiso};
    int indice = 0;
    for (TipoDePadrao alvo : alvos)
        for (double escala : {0.5, 0.75, 1.0, 1.3, 1.6, 2.0}) {
            Caso c = alvoInteiro(alvo, escala, (indice % 2 ? 1 : -1) * (1 + indice % 6), indice);
            // A square board is its own image turned by half a turn: the user says which way
            // up it was photographed, roughly.
            if (alvo == TipoDePadrao::XadrezQuadrado || alvo == TipoDePadrao::XadrezQuadradoLiso) {
                c.comGiro = true;
                c.giro = emGraus(c.lente.angulo) + 8;
            }
            casos.push_back(c);
            ++indice;
        }
    return casos;
}

std::vector<Caso> circulos()
{
    std::vector<Caso> casos;
    int indice = 0;
    for (TipoDePadrao alvo : {TipoDePadrao::CirculosAssimetricos, TipoDePadrao::CirculosLargos})
        for (double escala : {0.6, 1.0, 1.5, 2.0}) {
            Caso c = alvoInteiro(alvo, escala, 3 - 2 * indice, indice);
            if (alvo == TipoDePadrao::CirculosLargos) {
                c.comGiro = true;
                c.giro = emGraus(c.lente.angulo) - 10;
            }
            casos.push_back(c);
            ++indice;
        }
    return casos;
}

// Smooth bumps of up to 6 capture pixels over a mild lens, each a few tenths of the field wide.
std::vector<Caso> locais()
{
    std::vector<Caso> casos;
    const TipoDePadrao padroes[] = {TipoDePadrao::Natural, TipoDePadrao::Natural,
                                    TipoDePadrao::Natural, TipoDePadrao::Natural,
                                    TipoDePadrao::Demo,    TipoDePadrao::Demo};
    for (int i = 0; i < 6; ++i) {
        Caso c = doCampo(padroes[i], 0.8 + 0.12 * i, 4 - 2 * i, i);
        std::mt19937 g(500 + i);
        std::uniform_real_distribution<double> u(0, 1);
        const int bossas = 3 + i % 3;
        for (int k = 0; k < bossas; ++k) {
            DeslocamentoLocal b;
            const double t = 2 * kPi * u(g), r = 0.8 * kRaioDoCampo * std::sqrt(u(g));
            b.centro = cv::Point2d(218 + r * std::cos(t), 218 + r * std::sin(t));
            b.raio = kRaioDoCampo * (0.15 + 0.15 * u(g));
            const double a = k == 0 ? 6.0 : 2 + 4 * u(g), direcao = 2 * kPi * u(g);
            b.vetor = a * cv::Point2d(std::cos(direcao), std::sin(direcao));
            c.lente.locais.push_back(b);
        }
        casos.push_back(c);
    }
    return casos;
}

std::vector<Caso> resolucoes()
{
    std::vector<Caso> casos;
    int indice = 0;
    for (double escala : {0.35, 0.5, 2.0, 4.0, 6.0}) {
        casos.push_back(doCampo(TipoDePadrao::Natural, escala, 2 + indice, indice, 1.3));
        ++indice;
    }
    // The field filling the frame of 4000 x 3000 and 6000 x 6000 captures.
    for (const cv::Size tamanho : {cv::Size(4000, 3000), cv::Size(6000, 6000)}) {
        Caso c = doCampo(TipoDePadrao::Natural, 1, -3, indice++);
        c.lente.centro = cv::Point2d(0, 0);
        const cv::Rect2d unitario = retanguloDoCampo(c.lente);
        c.lente.escala = 0.99 * tamanho.height / unitario.height;
        const cv::Rect2d caixa = retanguloDoCampo(c.lente);
        c.tamanho = tamanho;
        c.lente.centro = cv::Point2d((tamanho.width - caixa.width) / 2 - caixa.x,
                                     (tamanho.height - caixa.height) / 2 - caixa.y);
        casos.push_back(c);
    }
    // The demo's capture enlarged to 3000, 4000 and 6000 pixels square.
    for (int lado : {3000, 4000, 6000}) {
        Caso c;
        c.padrao = TipoDePadrao::Demo;
        c.daDemo = true;
        c.tamanho = cv::Size(lado, lado);
        const Distorcao d = distorcaoDaDemo();
        const double f = static_cast<double>(lado) / kLadoDaAmostra;
        c.lente.k1 = d.k1;
        c.lente.angulo = d.angulo;
        c.lente.escala = d.escala * f;
        // Bicubic enlargement: pixel x of the small picture is f x + (f - 1) / 2 of the large.
        c.lente.centro = d.centro * f + cv::Point2d(f - 1, f - 1) / 2;
        casos.push_back(c);
    }
    return casos;
}

std::vector<Caso> espelhos()
{
    std::vector<Caso> casos;
    const TipoDePadrao padroes[] = {TipoDePadrao::Natural, TipoDePadrao::Natural,
                                    TipoDePadrao::Demo, TipoDePadrao::Demo};
    const double giros[] = {5, -40, 2, 100};
    for (int i = 0; i < 4; ++i) {
        Caso c = doCampo(padroes[i], 0.9 + 0.1 * i, giros[i], 10 + i);
        c.lente.espelho = true;
        casos.push_back(c);
    }
    return casos;
}

std::vector<Caso> desfocados()
{
    std::vector<Caso> casos;
    const TipoDePadrao padroes[] = {TipoDePadrao::Natural, TipoDePadrao::Natural,
                                    TipoDePadrao::Natural, TipoDePadrao::Demo};
    const double escalas[] = {0.8, 1.0, 1.4, 1.1};
    for (int i = 0; i < 4; ++i) {
        Caso c = doCampo(padroes[i], escalas[i], 3 - 3 * i, 20 + i);
        c.desfoque = i == 1 ? 2.5 : 3.0;
        casos.push_back(c);
    }
    return casos;
}

std::vector<Caso> giros()
{
    std::vector<Caso> casos;
    const double naturais[] = {30, 90, 135, 180, -100};
    int indice = 30;
    for (double g : naturais)
        casos.push_back(doCampo(TipoDePadrao::Natural, 1.0, g, indice++));
    for (double g : {90.0, 180.0, -135.0})
        casos.push_back(doCampo(TipoDePadrao::Demo, 1.0, g, indice++));
    return casos;
}

// Patterns that look the same turned: refused without the user's turn, calibrated with it.
std::vector<Caso> simetricos()
{
    std::vector<Caso> casos;
    struct Linha
    {
        double giro;
        TipoDePadrao padrao;
        bool inteiro; // photographed whole, the sheet's edge in view
    };
    const Linha linhas[] = {
        {3, TipoDePadrao::DemoCinza, false},     {93, TipoDePadrao::DemoCinza, false},
        {2, TipoDePadrao::XadrezQuadrado, true}, {182, TipoDePadrao::XadrezQuadrado, true},
        {4, TipoDePadrao::CirculosLargos, true}, {184, TipoDePadrao::CirculosLargos, true}};
    int indice = 40;
    for (const Linha& l : linhas) {
        Caso c = l.inteiro ? alvoInteiro(l.padrao, 1.0, l.giro, indice)
                           : doCampo(l.padrao, 1.0, l.giro, indice);
        ++indice;
        Caso semGiro = c;
        semGiro.recusar = true;
        casos.push_back(semGiro);
        c.comGiro = true;
        c.giro = l.giro + 9;
        casos.push_back(c);
    }
    return casos;
}

std::vector<Caso> aleatorios()
{
    std::vector<Caso> casos;
    for (TipoDePadrao tipo : {TipoDePadrao::Natural, TipoDePadrao::Demo, TipoDePadrao::Proprio}) {
        std::mt19937 gerador(1000 + static_cast<unsigned>(tipo));
        for (int i = 0; i < 6; ++i)
            casos.push_back(casoAleatorio(tipo, gerador));
    }
    return casos;
}

std::vector<Caso> amostra()
{
    Caso c;
    c.padrao = TipoDePadrao::Demo;
    c.daDemo = true;
    c.tamanho = cv::Size(kLadoDaAmostra, kLadoDaAmostra);
    const Distorcao d = distorcaoDaDemo();
    c.lente.k1 = d.k1;
    c.lente.angulo = d.angulo;
    c.lente.escala = d.escala;
    c.lente.centro = d.centro;
    return {c};
}

} // namespace

const std::vector<ClasseDeCapturas>& classesDeCapturas()
{
    static const std::vector<ClasseDeCapturas> classes = {
        {"amostra", "a captura da demonstração (amostra.jpg)"},
        {"aleatória", "lentes, giros, escalas, ruído, JPEG e vinheta sorteados; padrões "
                      "natural, demo e o de \"malha padrao\""},
        {"xadrez", "tabuleiros 14x14 e 13x10, lisos e com pontos, inteiros, escala 0.5 a 2"},
        {"círculos", "grades de círculos assimétrica e larga, inteiras, escala 0.6 a 2"},
        {"local", "deslocamentos locais de até 6 pixels sobre uma lente branda"},
        {"resolução", "escala 0.35 a 6, 4000x3000 e 6000x6000 com o campo enchendo o quadro"},
        {"espelho", "capturas espelhadas"},
        {"desfoque", "desfoque de sigma 2.5 e 3 pixels"},
        {"giro", "giros de até 180 graus"},
        {"simétrico", "padrões simétricos, sem --giro (recusa) e com --giro"},
    };
    return classes;
}

std::vector<Caso> casosDaClasse(const std::string& nome)
{
    if (nome == "amostra") return amostra();
    if (nome == "aleatória") return aleatorios();
    if (nome == "xadrez") return xadrezes();
    if (nome == "círculos") return circulos();
    if (nome == "local") return locais();
    if (nome == "resolução") return resolucoes();
    if (nome == "espelho") return espelhos();
    if (nome == "desfoque") return desfocados();
    if (nome == "giro") return giros();
    if (nome == "simétrico") return simetricos();
    return {};
}

} // namespace corretor
