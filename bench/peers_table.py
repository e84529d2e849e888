#!/usr/bin/python3
"""Prints the table of bench/peers.sh from its results file: one line per input size, fields
"chave=valor" as bancada_pares, peers_skimage.py and the script itself wrote them.

    peers_table.py RESULTADOS

A ratio "par / interpolado" is the peer's time divided by the interpolated warp's: above 1, the
interpolated warp is faster.
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

    def secao(titulo):
        linhas.append((titulo, lambda c: ""))

    def tempo(nome, chave, casas=2):
        linhas.append((f"{nome} (ms)", lambda c: f"{num(c, chave):.{casas}f}"))

    def razao(nome, de, para, casas=2):
        linhas.append((nome, lambda c: f"{num(c, de) / num(c, para):.{casas}f}"))

    secao("O avanço: morphPara, de toda a ampliação")
    tempo("  morphPara, dois núcleos", "sistema")
    tempo("  morphDireto, um núcleo", "direto", 1)
    razao("    morphDireto / morphPara", "direto", "sistema", 1)
    tempo("  piso de cálculo", "piso_calculo")
    razao("    morphPara / piso de cálculo", "sistema", "piso_calculo", 1)
    tempo("  piso de memória", "piso")
    razao("    morphPara / piso de memória", "sistema", "piso", 1)

    secao("O modo interpolado: da imagem carregada, mapas prontos")
    tempo("  interpolado, linear", "interp_linear")
    tempo("  remap, linear, os mesmos mapas", "remap_linear")
    razao("    interpolado / remap", "interp_linear", "remap_linear")
    for nome, chave in [("  warpAffine por triângulo, float", "afim_float"),
                        ("  o mesmo, float em memória nova", "afim_float_novo"),
                        ("  warpAffine por triângulo, 8 bits", "afim_8bits"),
                        ("  o mesmo, recorte copiado", "afim_copia"),
                        ("  remap da ampliação (16SC2)", "remap"),
                        ("  scikit-image, PiecewiseAffine", "skimage")]:
        tempo(nome, chave)
        razao("    par / interpolado linear", chave, "interp_linear")
    tempo("  interpolado, cúbico", "interp_cubico")
    tempo("  remap, cúbico, os mesmos mapas", "remap_cubico")
    razao("    interpolado / remap", "interp_cubico", "remap_cubico")
    tempo("  interpolado, Lanczos", "interp_lanczos")
    tempo("  remap, Lanczos, os mesmos mapas", "remap_lanczos")
    razao("    interpolado / remap", "interp_lanczos", "remap_lanczos")
    tempo("  montar os mapas, uma vez", "montar_mapas")

    secao("Os programas inteiros")
    linhas.append(("  corrigir, parede (s)", lambda c: f"{num(c, 'corrigir_s'):.2f}"))
    linhas.append(("  corrigir, pico (MiB)", lambda c: f"{num(c, 'corrigir_kib') / 1024:.0f}"))
    linhas.append(("  corrigir --interpolado, parede (s)",
                   lambda c: f"{num(c, 'corrigir_interp_s'):.2f}"))
    linhas.append(("  corrigir --interpolado, pico (MiB)",
                   lambda c: f"{num(c, 'corrigir_interp_kib') / 1024:.0f}"))
    linhas.append(("  corrigir-lote (imagens/s)",
                   lambda c: f"{num(c, 'lote_imagens') / num(c, 'lote_s'):.1f}"))
    linhas.append(("  corrigir-lote --interpolado (imagens/s)",
                   lambda c: f"{num(c, 'lote_imagens') / num(c, 'lote_interp_s'):.1f}"))
    razao("    --interpolado / sem opção", "lote_s", "lote_interp_s")

    largura = max(len(nome) for nome, _ in linhas)
    for nome, valor in linhas:
        print(f"{nome:<{largura}}" + "".join(f"{valor(c):>11}" for c in colunas))
    c = colunas[0]
    print(f"(repetições por tamanho: warps {', '.join(x['vezes'] for x in colunas)}; morphDireto "
          f"{', '.join(x['vezes_direto'] for x in colunas)}; scikit-image "
          f"{', '.join(x['vezes_skimage'] for x in colunas)}; medianas, os warps em turnos. "
          f"corrigir: melhor de 3 de cada. "
          f"lote: {', '.join(x['lote_imagens'] for x in colunas)} imagens, melhor de 3. "
          f"cópia de memória: {c['copia_gbs']} GB/s)")


if __name__ == "__main__":
    main()
