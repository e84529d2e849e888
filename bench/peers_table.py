#!/usr/bin/python3
"""Prints the table of bench/peers.sh from its results file: one line per input size, fields
"chave=valor" as bancada_pares, peers_skimage.py and the script itself wrote them.

    peers_table.py RESULTADOS

Each peer's ratio is its time divided by this system's: above 1, this system is faster.
"""
import sys


def ler(caminho):
    colunas = []
    with open(caminho) as arquivo:
        for linha in arquivo:
            campos = dict(c.split("=", 1) for c in linha.split())
            if campos:
                colunas.append(campos)
    return colunas


def main():
    if len(sys.argv) != 2:
        sys.exit("uso: peers_table.py RESULTADOS")
    colunas = ler(sys.argv[1])
    if not colunas:
        sys.exit(f'peers_table: erro: "{sys.argv[1]}" não tem resultados')

    def num(c, chave):
        return float(c[chave])

    linhas = [("entrada", lambda c: c["tamanho"]), ("ampliação", lambda c: c["ampliacao"])]

    def tempo(nome, chave):
        linhas.append((f"{nome} (ms)", lambda c: f"{num(c, chave):.2f}"))

    def par(nome, chave):
        tempo(nome, chave)
        linhas.append(("  razão para este sistema", lambda c: f"{num(c, chave) / num(c, 'sistema'):.2f}"))

    tempo("este sistema, morphPara", "sistema")
    par("warpAffine por triângulo, float", "afim_float")
    par("  o mesmo, float em memória nova", "afim_float_novo")
    par("warpAffine por triângulo, 8 bits", "afim_8bits")
    par("  o mesmo, recorte copiado", "afim_copia")
    par("remap, mapas prontos (16SC2)", "remap")
    par("scikit-image, PiecewiseAffine", "skimage")
    tempo("piso de memória", "piso")
    linhas.append(("  este sistema / piso", lambda c: f"{num(c, 'sistema') / num(c, 'piso'):.1f}"))
    linhas.append(("corrigir inteiro, parede (s)", lambda c: f"{num(c, 'corrigir_s'):.2f}"))
    linhas.append(("corrigir inteiro, pico (MiB)",
                   lambda c: f"{num(c, 'corrigir_kib') / 1024:.0f}"))
    linhas.append(("corrigir-lote (imagens/s)",
                   lambda c: f"{num(c, 'lote_imagens') / num(c, 'lote_s'):.1f}"))

    largura = max(len(nome) for nome, _ in linhas)
    for nome, valor in linhas:
        print(f"{nome:<{largura}}" + "".join(f"{valor(c):>12}" for c in colunas))
    c = colunas[0]
    print(f"(repetições por tamanho: warps {', '.join(x['vezes'] for x in colunas)}; scikit-image "
          f"{', '.join(x['vezes_skimage'] for x in colunas)}; medianas, os warps em turnos. "
          f"corrigir: melhor de 3. "
          f"lote: {', '.join(x['lote_imagens'] for x in colunas)} imagens, melhor de 3. "
          f"cópia de memória: {c['copia_gbs']} GB/s)")


if __name__ == "__main__":
    main()
