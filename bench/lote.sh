#!/usr/bin/env bash
# corrigir-lote against the floor of its images. For each input size: the demo mesh stretched
# over the input (as bench/peers.sh prepares it), N JPEGs of the demo picture at that size
# (quality 92, each shifted by its number of columns); the floor of one image, each step timed
# alone on one thread (bancada_piso medir: decode, the default warp or the interpolated one with
# its maps ready, the JPEG encoding of the 436 x 436 result, medians over the images); and
# corrigir-lote on one core and on all cores (taskset), without option and with
# --interpolado=linear, on the N images and on the first alone; three rounds in which all of
# these take turns, the best of each. Prints images per second of the
# whole run (N / wall time) and of the images beyond the first ((N - 1) / the difference of the
# two wall times: the start of the program, the mesh, the pattern and the first image left
# out), the ratio of the latter to the floor (the floor's images per second times the cores),
# and the scaling from one core to all. With --velho, the corrigir-lote of another build (say,
# of an earlier commit) runs in the same turns, and the ratios of the two are printed.
#
#   bench/lote.sh [--velho PASTA_DE_BUILD] [--imagens N] [TAMANHO...]  (48 images of 1920x1080)
#
# The numbers are only comparable within one run on an otherwise idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
raiz=$(pwd)

velho=""
imagens=48
tamanhos=()
while [ $# -gt 0 ]; do
    case $1 in
    --velho)
        velho=$(cd "$2" && pwd)/corrigir-lote
        [ -x "$velho" ] || { echo "lote.sh: \"$velho\" não é um programa" >&2; exit 2; }
        shift 2
        ;;
    --imagens)
        imagens=$2
        [[ $imagens =~ ^[1-9][0-9]*$ ]] || { echo "lote.sh: número inválido \"$2\"" >&2; exit 2; }
        shift 2
        ;;
    *)
        [[ $1 =~ ^[1-9][0-9]*x[1-9][0-9]*$ ]] || { echo "lote.sh: tamanho inválido \"$1\"" >&2; exit 2; }
        tamanhos+=("$1")
        shift
        ;;
    esac
done
[ ${#tamanhos[@]} -gt 0 ] || tamanhos=(1920x1080)

cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target corrigir-lote malha bancada_pares bancada_piso >/dev/null

cargaInicial=$(cut -d' ' -f1 /proc/loadavg)
todos="0-$(($(nproc) - 1))"
pasta="$raiz/build/lote"
rm -rf "$pasta"
mkdir -p "$pasta"
"$raiz/build/malha" demo "$pasta/demo" >/dev/null

# Seconds since the epoch, with nanoseconds.
agora() { date +%s.%N; }

for tamanho in "${tamanhos[@]}"; do
    echo "lote: $tamanho" >&2
    dir="$pasta/$tamanho"
    "$raiz/build/bancada_pares" preparar "$pasta/demo" "$dir" "${tamanho%x*}" "${tamanho#*x}"
    rm -f "$dir/ampliada.ppm" # made for scikit-image, not needed here
    (cd "$dir" && "$raiz/build/malha" matrizes --substituir >/dev/null)
    "$raiz/build/bancada_piso" imagens "$dir/entrada.jpg" "$dir/fotos" "$imagens" 92
    fotos=()
    for ((k = 0; k < imagens; ++k)); do fotos+=("fotos/$k.jpg"); done
    # Every run in turns, the floor's too, three rounds; each keeps its best time.
    declare -A melhor=() piso=()
    programas=(novo)
    [ -n "$velho" ] && programas+=(velho)
    for _ in 1 2 3; do
        linha=$(taskset -c 0 "$raiz/build/bancada_piso" medir "$dir" 1 "${fotos[@]}")
        for passo in decodificar avanco interpolado codificar; do
            ms=$(sed -n "s/.*\b$passo=\([0-9.]*\).*/\1/p" <<<"$linha")
            if [ -z "${piso[$passo]:-}" ] || awk "BEGIN { exit !($ms < ${piso[$passo]}) }"; then
                piso[$passo]=$ms
            fi
        done
        for modo in direto interpolado; do
            for nucleos in 0 "$todos"; do
                for programa in "${programas[@]}"; do
                    for quantas in 1 "$imagens"; do
                        binario="$raiz/build/corrigir-lote"
                        [ "$programa" = velho ] && binario=$velho
                        opcao=()
                        [ "$modo" = interpolado ] && opcao=(--interpolado=linear)
                        rm -rf "$dir/resultados"
                        inicio=$(agora)
                        (cd "$dir" && taskset -c "$nucleos" "$binario" "${opcao[@]}" -o resultados \
                            "${fotos[@]:0:$quantas}" >/dev/null)
                        fim=$(agora)
                        chave="$programa $modo $nucleos $quantas"
                        s=$(awk "BEGIN { print $fim - $inicio }")
                        if [ -z "${melhor[$chave]:-}" ] || awk "BEGIN { exit !($s < ${melhor[$chave]}) }"; then
                            melhor[$chave]=$s
                        fi
                    done
                done
            done
        done
    done

    campo() { echo "${piso[$1]}"; }
    echo
    echo "entrada $tamanho, $imagens imagens JPEG (qualidade 92)"
    echo "piso de uma imagem, cada passo sozinho num núcleo (ms): decodificar $(campo decodificar)," \
        "avanço $(campo avanco), interpolado linear $(campo interpolado), codificar $(campo codificar)"
    echo "programa núcleos  imagens/s  além da 1ª  piso (im/s)  razão ao piso  1 -> todos  modo"
    # The rate of the images beyond the first, for one program, mode and set of cores.
    alem() {
        awk -v n="$imagens" -v t="${melhor["$1 $2 $3 $imagens"]}" -v t1="${melhor["$1 $2 $3 1"]}" \
            'BEGIN { print (n - 1) / (t - t1) }'
    }
    for programa in "${programas[@]}"; do
        for modo in direto interpolado; do
            passo=$(campo avanco)
            rotulo="sem opção"
            [ "$modo" = interpolado ] && passo=$(campo interpolado) && rotulo="--interpolado=linear"
            for nucleos in 0 "$todos"; do
                n=1
                [ "$nucleos" = "$todos" ] && n=$(nproc)
                awk -v p="$programa" -v r="$rotulo" -v n="$n" -v imagens="$imagens" \
                    -v t="${melhor["$programa $modo $nucleos $imagens"]}" \
                    -v alem="$(alem "$programa" "$modo" "$nucleos")" -v um="$(alem "$programa" "$modo" 0)" \
                    -v d="$(campo decodificar)" -v w="$passo" -v c="$(campo codificar)" 'BEGIN {
                        piso = 1000 / (d + w + c) * n
                        escala = n == 1 ? "" : sprintf("%.2f", alem / um)
                        printf "%-8s %7d %10.1f %11.1f %12.1f %14.2f %11s  %s\n", p, n, imagens / t,
                            alem, piso, alem / piso, escala, r
                    }'
            done
        done
    done
    if [ -n "$velho" ]; then
        for modo in direto interpolado; do
            for nucleos in 0 "$todos"; do
                awk -v m="$modo" -v c="$nucleos" -v novo="${melhor["novo $modo $nucleos $imagens"]}" \
                    -v velho="${melhor["velho $modo $nucleos $imagens"]}" \
                    -v alemNovo="$(alem novo "$modo" "$nucleos")" -v alemVelho="$(alem velho "$modo" "$nucleos")" \
                    'BEGIN { printf "novo / velho, %s, núcleos %s: %.2f (imagens/s), %.2f (além da 1ª)\n", m, c, velho / novo, alemNovo / alemVelho }'
            done
        done
    fi
    unset melhor piso
done
echo
echo "máquina: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) núcleos;" \
    "carga média no início $cargaInicial, no fim $(cut -d' ' -f1 /proc/loadavg)"
