#!/usr/bin/env python3
"""Turns the output of bancada_calibrar into the Markdown tables of docs/calibration.md:
one table per class, one row per case, and the class's summary below it.

    build/bancada_calibrar | bench/calibration_tables.py
"""
import re
import sys

CASO = re.compile(r"^\s*(\d+) (\S+)\s+(\d+x\d+)\s+k .*? giro\s+(\S+) escala (\S+)(.*)$")
ERRO = re.compile(r"erro mediana (\S+) p95 (\S+) máx (\S+) .*?unidade (\S+) px .*?"
                  r"PSNR (\S+) \(verdadeira (\S+), (\S+)\) \| (\d+) ms")


def extras(resto):
    """What sets a case apart beyond size, turn and scale: mirror, blur, local field, --giro."""
    partes = []
    if " espelho" in resto:
        partes.append("espelho")
    desfoque = re.search(r"desfoque (\S+)", resto)
    if desfoque and float(desfoque.group(1)) >= 2:
        partes.append("desfoque " + desfoque.group(1))
    local = re.search(r"local até (\S+) px", resto)
    if local:
        partes.append("local " + local.group(1) + " px")
    giro = re.search(r"--giro (\S+)", resto)
    if giro:
        partes.append("--giro " + giro.group(1))
    return ", ".join(partes)


def main():
    linhas = sys.stdin.read().splitlines()
    caso = None
    for linha in linhas:
        if linha.startswith("# "):
            nome, descricao = linha[2:].split(": ", 1)
            print(f"\n**{nome}**: {descricao}\n")
            print("| caso | alvo | captura | giro | escala | outros | mediana | p95 | máx "
                  "| unidade (px da captura) | PSNR (verdadeira) | ms |")
            print("|---|---|---|---|---|---|---|---|---|---|---|---|")
        elif m := CASO.match(linha):
            caso = m
        elif caso and (e := ERRO.search(linha)):
            n, alvo, tamanho, giro, escala, resto = caso.groups()
            print(f"| {n} | {alvo} | {tamanho} | {giro} | {escala} | {extras(resto)} | {e[1]} "
                  f"| {e[2]} | {e[3]} | {e[4]} | {e[5]} ({e[6]}) | {e[8]} |")
            caso = None
        elif caso and "recusada, como deve" in linha:
            n, alvo, tamanho, giro, escala, resto = caso.groups()
            print(f"| {n} | {alvo} | {tamanho} | {giro} | {escala} | {extras(resto)} "
                  f"| recusada, nomeando a simetria | | | | | |")
            caso = None
        elif linha.startswith("== "):
            print("\n" + linha[3:])
        elif linha.startswith("captura de "):
            print("\n" + linha)
    return 0


if __name__ == "__main__":
    sys.exit(main())
