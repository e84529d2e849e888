#!/usr/bin/env bash
# One task of a Slurm job array that corrects a list of images with corrigir-lote: the tasks
# of the array split the list into as many parts, one each (docs/escala.md). Submitted from the
# workspace folder, on storage every node sees:
#
#   sbatch --array=1-16 slurm-lote.sh LISTA [PASTA [OPÇÕES...]]
#
# LISTA holds one image path a line (relative to the workspace or absolute), PASTA receives the
# results (default "resultados"), further options go to corrigir-lote (--interpolado, say).
# Array indices may start at 0 or 1 or anywhere, with a step: the task's part is its position
# in the array. A task run again (resubmitted, requeued) passes over the images already done
# and redoes any result left incomplete. Each Slurm variable must be a whole number in its range
# (at most 1000000 tasks, indices below 10^9), checked before any arithmetic.
# CORRIGIR_LOTE names the program when it is not the installed one.
#SBATCH --job-name=corretor-lote
#SBATCH --cpus-per-task=2
#SBATCH --output=corretor-lote-%A_%a.log
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "uso: slurm-lote.sh LISTA [PASTA [OPÇÕES DE corrigir-lote...]]" >&2
    exit 2
fi
lista=$1
pasta=${2:-resultados}
shift $(($# < 2 ? $# : 2))
# The whole number held by the variable named $1, from $2 to $3, into the variable named $4;
# otherwise a message and exit status 2. The value is only matched against digits, never
# evaluated, before any arithmetic: bash would run a command hidden in an array subscript.
inteiro() {
    local valor=${!1-}
    if [ -z "$valor" ]; then
        echo "slurm-lote: erro: $1 não está definida; envie com sbatch --array=..." >&2
        exit 2
    fi
    if ! [[ $valor =~ ^[0-9]{1,9}$ ]] || ((10#$valor < $2 || 10#$valor > $3)); then
        echo "slurm-lote: erro: $1 vale \"${valor//[[:cntrl:]]/?}\", que não é um número" \
            "inteiro de $2 a $3; envie com sbatch --array=INÍCIO-FIM[:PASSO]" >&2
        exit 2
    fi
    printf -v "$4" %d "$((10#$valor))"
}
inteiro SLURM_ARRAY_TASK_COUNT 1 1000000 total
inteiro SLURM_ARRAY_TASK_MIN 0 999999999 minimo
inteiro SLURM_ARRAY_TASK_ID "$minimo" 999999999 tarefa
SLURM_ARRAY_TASK_STEP=${SLURM_ARRAY_TASK_STEP:-1}
inteiro SLURM_ARRAY_TASK_STEP 1 999999999 passo
deslocamento=$((tarefa - minimo))
parte=$((deslocamento / passo + 1))
if [ $((deslocamento % passo)) -ne 0 ] || [ "$parte" -gt "$total" ]; then
    echo "slurm-lote: erro: a tarefa $tarefa não tem lugar num vetor de $total tarefas a partir" \
        "de $minimo, de $passo em $passo; use --array=INÍCIO-FIM[:PASSO]" >&2
    exit 2
fi
echo "slurm-lote: tarefa $tarefa, parte $parte de $total em $(hostname)"
exec "${CORRIGIR_LOTE:-corrigir-lote}" --lista "$lista" -o "$pasta" --pular-existentes \
    --parte "$parte/$total" "$@"
