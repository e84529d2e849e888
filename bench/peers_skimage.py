#!/usr/bin/python3
"""scikit-image's piecewise affine warp on a workspace prepared by bancada_pares; run by
bench/peers.sh.

    peers_skimage.py PASTA LARGURA ALTURA VEZES

Reads the two vertex files of PASTA (source nodes in the enlargement, target nodes in the
pattern, "x y" = column, row) and the enlargement "ampliada.ppm", estimates a
PiecewiseAffineTransform from the target nodes to the source nodes (scikit-image triangulates
them itself, Delaunay) and times skimage.transform.warp of the enlargement onto an output of
LARGURA x ALTURA, bilinear (order=1), values kept in 0..255 (preserve_range=True). Only the
warp call is timed: the median of VEZES runs, after one untimed run when VEZES is 3 or more.
The estimate is timed once, apart. Prints one line of "chave=valor" fields.
"""
import statistics
import sys
import time

import numpy as np
from skimage.transform import PiecewiseAffineTransform, warp


def ler_pares(caminho):
    with open(caminho) as arquivo:
        numeros = [int(n) for n in arquivo.read().split()]
    return np.array(numeros[: len(numeros) // 2 * 2], dtype=float).reshape(-1, 2)


def ler_ppm(caminho):
    with open(caminho, "rb") as arquivo:
        dados = arquivo.read()
    campos, inicio = [], 0
    while len(campos) < 4:  # "P6", width, height, maximum, separated by white space
        while dados[inicio : inicio + 1].isspace():
            inicio += 1
        fim = inicio
        while not dados[fim : fim + 1].isspace():
            fim += 1
        campos.append(dados[inicio:fim])
        inicio = fim
    if campos[0] != b"P6" or campos[3] != b"255":
        raise ValueError(f'"{caminho}" não é um PPM binário de 8 bits')
    largura, altura = int(campos[1]), int(campos[2])
    pixels = np.frombuffer(dados, dtype=np.uint8, count=largura * altura * 3, offset=inicio + 1)
    return pixels.reshape(altura, largura, 3)


def main():
    if len(sys.argv) != 5:
        sys.exit("uso: peers_skimage.py PASTA LARGURA ALTURA VEZES")
    pasta, largura, altura, vezes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    origem = ler_pares(f"{pasta}/data/verticesamp4.txt")
    destino = ler_pares(f"{pasta}/data/vertices2.txt")
    nos = min(len(origem), len(destino))
    imagem = ler_ppm(f"{pasta}/ampliada.ppm")

    transformacao = PiecewiseAffineTransform()
    inicio = time.perf_counter()
    if not transformacao.estimate(destino[:nos], origem[:nos]):
        sys.exit(f'peers_skimage: erro: a malha de "{pasta}" não dá uma transformação')
    estimativa = (time.perf_counter() - inicio) * 1000

    def uma_vez():
        return warp(imagem, transformacao, output_shape=(altura, largura), order=1,
                    mode="constant", cval=0, preserve_range=True)

    if vezes >= 3:
        uma_vez()
    tempos = []
    for _ in range(vezes):
        inicio = time.perf_counter()
        uma_vez()
        tempos.append((time.perf_counter() - inicio) * 1000)
    print(f"ampliacao_skimage={imagem.shape[1]}x{imagem.shape[0]} nos_skimage={nos} "
          f"vezes_skimage={vezes} skimage={statistics.median(tempos):.3f} "
          f"estimativa_skimage={estimativa:.3f}")


if __name__ == "__main__":
    main()
