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
# in the array. A task run again (resubmitted, requeued) passes over the images already done.
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
for v in SLURM_ARRAY_TASK_ID SLURM_ARRAY_TASK_MIN SLURM_ARRAY_TASK_COUNT; do
    if [ -z "${!v:-}" ]; then
        echo "slurm-lote: erro: $v não está definida; envie com sbatch --array=..." >&2
        exit 2
    fi
done
passo=${SLURM_ARRAY_TASK_STEP:-1}
deslocamento=$((SLURM_ARRAY_TASK_ID - SLURM_ARRAY_TASK_MIN))
parte=$((deslocamento / passo + 1))
if [ $((deslocamento % passo)) -ne 0 ] || [ "$parte" -gt "$SLURM_ARRAY_TASK_COUNT" ]; then
    echo "slurm-lote: erro: a tarefa $SLURM_ARRAY_TASK_ID não tem lugar num vetor de" \
        "$SLURM_ARRAY_TASK_COUNT tarefas a partir de $SLURM_ARRAY_TASK_MIN, de $passo em $passo;" \
        "use --array=INÍCIO-FIM[:PASSO]" >&2
    exit 2
fi
echo "slurm-lote: tarefa $SLURM_ARRAY_TASK_ID, parte $parte de $SLURM_ARRAY_TASK_COUNT em $(hostname)"
exec "${CORRIGIR_LOTE:-corrigir-lote}" --lista "$lista" -o "$pasta" --pular-existentes \
    --parte "$parte/$SLURM_ARRAY_TASK_COUNT" "$@"
