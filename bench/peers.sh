#!/usr/bin/env bash
# This system's two warps, on the demo mesh stretched over inputs of 110x110, 640x480 and
# 1920x1080: the forward warp (of the enlargement, four times the input) against its own
# straightforward form and the memory and compute floors; the interpolated warp (of the input
# itself) against cv::remap with the same maps and the usual backward ways of warping an image
# through a triangle mesh; plus the whole corrigir run and the corrigir-lote throughput of
# both. Installs what it needs (scikit-image, GNU time), builds the Release build, and prints
# one table at the end. Takes a few minutes.
#
#   bench/peers.sh [PASTA]     work folder, made anew (default build/pares)
#
# The numbers are only comparable within one run on an otherwise idle machine.
set -euo pipefail
cd "$(dirname "$0")/.."
raiz=$(pwd)

scripts/setup python3-skimage time
cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target corrigir corrigir-lote malha bancada_pares >/dev/null

cargaInicial=$(cut -d' ' -f1 /proc/loadavg)
pasta=${1:-build/pares}
rm -rf "$pasta"
mkdir -p "$pasta"
pasta=$(cd "$pasta" && pwd)
resultados="$pasta/resultados.txt"
: >"$resultados"
"$raiz/build/malha" demo "$pasta/demo" >/dev/null

# Repetitions per size: the warps, scikit-image, the whole run, the batch (images, rounds).
declare -A vezes=([110x110]=21 [640x480]=11 [1920x1080]=5)
declare -A vezesSkimage=([110x110]=7 [640x480]=5 [1920x1080]=3)
declare -A imagensLote=([110x110]=64 [640x480]=24 [1920x1080]=12)
declare -A vezesDireto=([110x110]=3 [640x480]=3 [1920x1080]=1)

# Seconds since the epoch, with nanoseconds.
agora() { date +%s.%N; }

for tamanho in 110x110 640x480 1920x1080; do
    echo "pares: $tamanho" >&2
    dir="$pasta/$tamanho"
    "$raiz/build/bancada_pares" preparar "$pasta/demo" "$dir" "${tamanho%x*}" "${tamanho#*x}"
    (cd "$dir" && "$raiz/build/malha" matrizes --substituir >/dev/null)

    linha=$("$raiz/build/bancada_pares" medir "$dir" "${vezes[$tamanho]}" \
        "${vezesDireto[$tamanho]}")
    padrao=$(sed -n 's/.*padrao=\([0-9]*\)x\([0-9]*\).*/\1 \2/p' <<<"$linha")
    # shellcheck disable=SC2086  # the two numbers are two arguments
    skimage=$(/usr/bin/python3 -W ignore::DeprecationWarning "$raiz/bench/peers_skimage.py" \
        "$dir" $padrao "${vezesSkimage[$tamanho]}")

    # The whole corrigir run, three times for each warp in turns: the best wall time, and the
    # peak memory of that run.
    declare -A melhor=() pico=()
    for _ in 1 2 3; do
        for modo in direto interpolado; do
            opcao=()
            [ "$modo" = interpolado ] && opcao=(--interpolado)
            (cd "$dir" && echo entrada.jpg | /usr/bin/time -v -o "$pasta/tempo.txt" \
                "$raiz/build/corrigir" "${opcao[@]}" >/dev/null)
            parede=$(awk -F': ' '/Elapsed \(wall clock\)/ {
                n = split($2, p, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + p[i]; print s }' \
                "$pasta/tempo.txt")
            if [ -z "${melhor[$modo]:-}" ] || awk "BEGIN { exit !($parede < ${melhor[$modo]}) }"; then
                melhor[$modo]=$parede
                pico[$modo]=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$pasta/tempo.txt")
            fi
        done
    done

    # The batch: copies of the image, three rounds of each warp in turns, the best of each.
    mkdir -p "$dir/lote"
    for ((k = 0; k < imagensLote[$tamanho]; ++k)); do
        cp "$dir/entrada.jpg" "$dir/lote/$k.jpg"
    done
    declare -A lote=()
    for _ in 1 2 3; do
        for modo in direto interpolado; do
            opcao=()
            [ "$modo" = interpolado ] && opcao=(--interpolado)
            inicio=$(agora)
            (cd "$dir" && "$raiz/build/corrigir-lote" "${opcao[@]}" -o "resultados-$modo" \
                lote/*.jpg >/dev/null)
            fim=$(agora)
            segundos=$(awk "BEGIN { print $fim - $inicio }")
            if [ -z "${lote[$modo]:-}" ] || awk "BEGIN { exit !($segundos < ${lote[$modo]}) }"; then
                lote[$modo]=$segundos
            fi
        done
    done

    echo "tamanho=$tamanho $linha $skimage corrigir_s=${melhor[direto]}" \
        "corrigir_kib=${pico[direto]} corrigir_interp_s=${melhor[interpolado]}" \
        "corrigir_interp_kib=${pico[interpolado]} lote_imagens=${imagensLote[$tamanho]}" \
        "lote_s=${lote[direto]} lote_interp_s=${lote[interpolado]}" >>"$resultados"
done

echo "máquina: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) núcleos," \
    "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo);" \
    "carga média no início $cargaInicial, no fim $(cut -d' ' -f1 /proc/loadavg)"
/usr/bin/python3 "$raiz/bench/peers_table.py" "$resultados"
