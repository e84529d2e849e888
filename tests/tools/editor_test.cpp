// malha editar on a virtual screen (Xvfb): real windows, real clicks and keys sent with xdotool,
// and the files, console lines and saved pictures they leave.
#include "tests/support/workspace.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

namespace {

// The session, as a shell script run in the workspace: $0 is malha, $1 a folder for the
// editor's console and the server. Each click or key waits for the console line it prints
// before the next one is sent; 30 s for each, since the sanitizer build starts the window
// system slowly. The script ends with the editor's status.
const char kSessao[] = R"sh(io=$1
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$io/display" 2>/dev/null &
x=$!
trap 'kill $x $e 2>/dev/null' EXIT
for n in $(seq 300); do [ -s "$io/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$io/display") XDG_RUNTIME_DIR=$io
export LSAN_OPTIONS=suppressions=)sh" DISPLAY_LEAKS_SUPP R"sh(:print_suppressions=0
"$0" editar x.png >"$io/out" 2>"$io/err" &
e=$!
espera() { # the console holds "$1" at least $2 times
    for n in $(seq 300); do
        [ "$(grep -c -F -- "$1" "$io/out")" -ge "${2:-1}" ] && return; sleep 0.1
    done
    echo "não apareceu: $1" >&2; exit 9
}
janela() { timeout 30 xdotool search --sync --onlyvisible --name "^$1(:|\$)" | head -n 1; }
clique() { xdotool mousemove --window "$1" "$2" "$3" click 1; [ -z "$4" ] || espera "$4"; }
tecla() { xdotool key --window "$1" "$2"; espera "$3" "$4"; }
espera "modo: nós"
I=$(janela imagem); P=$(janela padrao)
clique "$I" 30 40 "pixel x: 30  y:40"; clique "$I" 100 150 "pixel x: 100  y:150"
clique "$P" 50 60 "pixel x: 50  y:60"
tecla "$P" t "modo: triângulos"
clique "$P" 20 20 "pixel x: 20  y:20"; clique "$P" 120 20 "pixel x: 120  y:20"
clique "$I" 200 180; clique "$P" 20 120 "pixel x: 20  y:120"
tecla "$I" p "modo: pontos"; clique "$I" 70 70 "pixel x: 70  y:70"
tecla "$P" s "modo: sonda"; clique "$P" 40 40 "entrou no triangulo 1temos um triangulo"
tecla "$P" a "2 120 20"; tecla "$I" o "malha de origem desenhada"
tecla "$P" d "malha de destino desenhada"; tecla "$P" h "teclas:" 2; tecla "$P" g "gravadas"
mkdir antes && cp editor-imagem.png editor-padrao.png antes/
tecla "$I" l "desenhos limpos"; tecla "$I" g "gravadas" 2
mkdir limpo && cp editor-imagem.png editor-padrao.png limpo/
# Node k in both windows, named with its window and file; undo takes the mode's last pick off
# its file and picture; a double click is one pick; the titles count the nodes.
tecla "$I" n "modo: nós" 2
clique "$P" 90 90 'janela "padrao": nó 3 anotado em "vertices2.txt"'
clique "$I" 150 60 'janela "imagem": nó 4 anotado em "vertices.txt"'
clique "$I" 180 60 'janela "imagem": nó 5 anotado'
tecla "$I" u 'desfeito: 5 na janela "imagem", linha tirada de "vertices.txt"'
xdotool mousemove --window "$I" 60 160 click --repeat 2 --delay 80 1
espera 'janela "imagem": nó 5 anotado' 2
[ "$(xdotool getwindowname "$I")" = "imagem: 5 nós | padrao: 3 nós" ] || exit 8
# Every pick drawn again, numbered, after the drawings were cleared.
tecla "$I" l "desenhos limpos" 2; tecla "$I" r "marcações redesenhadas: 12"
tecla "$I" g "gravadas" 3
# Twice the view about the pointer: a click lands on the pixel under it.
xdotool mousemove --window "$I" 120 100; tecla "$I" z 'vista 2x na janela "imagem"'
clique "$I" 100 80 "pixel x: 110  y:90"; tecla "$I" x "vista inteira"
xdotool key --window "$P" q
wait $e
)sh";

cv::Vec3b at(const cv::Mat& image, int x, int y)
{
    return image.at<cv::Vec3b>(y, x);
}

} // namespace

TEST(Tools_MalhaEditar, clicks_and_keys_lay_out_a_mesh_and_save_the_drawings)
{
    // A grey 60 x 50 picture, shown enlarged to 240 x 200; a grey 220 x 200 pattern; a
    // one-triangle mesh in the workspace for the keys that draw it.
    teste::Workspace ws, io;
    ws.write("x.png", cv::Mat(50, 60, CV_8UC3, cv::Scalar(100, 100, 100)));
    ws.write("data/pattern.jpg", cv::Mat(200, 220, CV_8UC3, cv::Scalar(128, 128, 128)));
    ws.write("data/verticesamp4.txt", "160 20\n220 20\n160 100\n");
    ws.write("data/vertices2.txt", "150 150\n210 150\n150 190\n");
    ws.write("data/quelvarina.txt", "1 2 3\n");
    ws.write("vertices.txt", "1 1\n"); // from an earlier session: kept
    ws.write("vertices2.txt", "7 8");  // edited by hand, its last line not ended
    const auto r =
        teste::run("/bin/sh", {"-c", kSessao, MALHA_PATH, io.dir().string()}, "", ws.dir());
    ASSERT_EQ(0, r.status) << r.err << io.read("out") << io.read("err");
    const std::string out = io.read("out");
    EXPECT_NE(std::string::npos, out.find("ampliada: 240 x 200 pixels")) << out;
    EXPECT_NE(std::string::npos, out.find("fim da edição")) << out;
    EXPECT_EQ("1 1\n30 40\n100 150\n150 60\n60 160\n110 90\n", ws.read("vertices.txt"));
    EXPECT_EQ("7 8\n50 60\n90 90\n", ws.read("vertices2.txt")) << "the open line ended first";
    EXPECT_EQ("1 20 20\n2 120 20\n3 20 120\n", ws.read("malha2.txt")) << "the node took pick 0";

    const cv::Mat drawn = cv::imread((ws / "antes/editor-imagem.png").string());
    ASSERT_EQ(cv::Size(240, 200), drawn.size());
    for (const cv::Point p : {cv::Point(30, 40), cv::Point(100, 150), cv::Point(70, 70)})
        EXPECT_EQ(cv::Vec3b(0, 0, 255), at(drawn, p.x, p.y)) << p;
    EXPECT_EQ(255, at(drawn, 72, 70)[2]) << "the plain point has radius 2";
    EXPECT_EQ(cv::Vec3b(100, 100, 100), at(drawn, 200, 180)) << "the click in triangle mode";
    EXPECT_EQ(cv::Vec3b(100, 100, 100), at(drawn, 5, 190));
    const cv::Vec3b blue = at(drawn, 190, 20);
    EXPECT_TRUE(blue[0] > 200 && blue[1] < 60 && blue[2] < 60) << blue << ": source mesh edge";

    const cv::Mat pattern = cv::imread((ws / "antes/editor-padrao.png").string());
    ASSERT_EQ(cv::Size(220, 200), pattern.size());
    EXPECT_EQ(255, at(pattern, 18, 120)[2]) << "a corner's disc, radius 2, beside the outline";
    for (const cv::Point p : {cv::Point(50, 60), cv::Point(40, 40)})
        EXPECT_EQ(cv::Vec3b(0, 0, 255), at(pattern, p.x, p.y)) << p;
    const cv::Vec3b grey = at(pattern, 200, 10);
    EXPECT_NE(grey, at(pattern, 70, 70)) << "the outline of the probed triangle";
    EXPECT_EQ(grey, at(pattern, 80, 30)) << "inside the outline";
    const cv::Vec3b cyan = at(pattern, 180, 150);
    EXPECT_TRUE(cyan[0] > 200 && cyan[1] > 200 && cyan[2] < 60) << cyan << ": target mesh edge";
    // Cleared, the drawings give the pictures as loaded back; the files stay.
    EXPECT_EQ(0, cv::norm(cv::imread((ws / "limpo/editor-imagem.png").string()),
                          cv::Mat(200, 240, CV_8UC3, cv::Scalar(100, 100, 100)), cv::NORM_INF));
    EXPECT_EQ(0, cv::norm(cv::imread((ws / "limpo/editor-padrao.png").string()),
                          cv::Mat(200, 220, CV_8UC3, cv::Scalar(grey)), cv::NORM_INF));
    // Redrawn: every pick but the one undone, and node 4's number up and to its right.
    const cv::Mat again = cv::imread((ws / "editor-imagem.png").string());
    for (const cv::Point p : {cv::Point(30, 40), cv::Point(150, 60), cv::Point(60, 160)})
        EXPECT_EQ(cv::Vec3b(0, 0, 255), at(again, p.x, p.y)) << p;
    EXPECT_EQ(cv::Vec3b(100, 100, 100), at(again, 180, 60)) << "the pick undone";
    int yellow = 0;
    for (int y = 48; y < 58; ++y)
        for (int x = 154; x < 164; ++x)
            yellow +=
                at(again, x, y)[2] > 200 && at(again, x, y)[1] > 150 && at(again, x, y)[0] < 100;
    EXPECT_GT(yellow, 0);
}
