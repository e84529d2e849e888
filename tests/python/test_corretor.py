# The module corretor from Python: the same bytes as the programs, the arrays it takes, its
# refusals, its threads and meshes side by side, and its installation.
import os
import shutil
import subprocess
import sys
import threading
import warnings

import numpy as np
import pytest

import corretor
from conftest import BUILD, programa

FILTROS = [None, "linear", "cubico", "lanczos"]


def corrigir_lote(pasta, interpolado, saida, suave=False):
    """The result of corrigir-lote for amostra.jpg, as bytes."""
    opcao = [] if interpolado is None else ["--interpolado=" + interpolado]
    opcao += ["--suave"] if suave else []
    subprocess.run([programa("corrigir-lote"), *opcao, "-o", saida, "amostra.jpg"], cwd=pasta,
                   check=True, stdout=subprocess.DEVNULL)
    return (pasta / saida / "amostra.jpg").read_bytes()


@pytest.mark.parametrize("interpolado", FILTROS)
def test_corrige_com_os_bytes_dos_programas(demo, tmp_path, interpolado):
    malha = corretor.Malha(demo)
    resultado = malha.corrigir(corretor.abrir(str(demo / "amostra.jpg")), interpolado=interpolado)
    assert resultado.shape == (436, 436, 3) and resultado.dtype == np.uint8
    corretor.salvar(str(tmp_path / "py.jpg"), resultado)
    assert (tmp_path / "py.jpg").read_bytes() == corrigir_lote(demo, interpolado, "r" + str(interpolado))


def test_uma_malha_menor_depois_de_outra_e_lida_como_um_programa_a_le(demo, tmp_path):
    corretor.Malha(demo).corrigir(corretor.abrir(str(demo / "amostra.jpg")))
    menor = tmp_path / "menor"
    shutil.copytree(demo, menor)
    triangulos = (menor / "data" / "quelvarina.txt").read_text().splitlines()
    (menor / "data" / "quelvarina.txt").write_text("\n".join(triangulos[:40]) + "\n")
    resultado = corretor.Malha(menor).corrigir(corretor.abrir(str(menor / "amostra.jpg")))
    corretor.salvar(str(tmp_path / "py.jpg"), resultado)
    assert (tmp_path / "py.jpg").read_bytes() == corrigir_lote(menor, None, "r")


def test_le_vistas_e_copias_como_o_array_inteiro(demo):
    malha = corretor.Malha(demo)
    img = corretor.abrir(str(demo / "amostra.jpg"))
    esperado = malha.corrigir(img)
    grande = np.zeros((img.shape[0] + 31, img.shape[1] + 17, 3), np.uint8)
    grande[20:20 + img.shape[0], 9:9 + img.shape[1]] = img
    vista = grande[20:20 + img.shape[0], 9:9 + img.shape[1]]
    assert not vista.flags.c_contiguous
    for nome, arranjo in [("vista de uma imagem maior", vista),
                          ("ordem de Fortran", np.asfortranarray(img)),
                          ("canais invertidos duas vezes", img[..., ::-1][..., ::-1]),
                          ("linhas de trás para a frente", img[::-1][::-1]),
                          ("só leitura", np.frombuffer(img.tobytes(), np.uint8).reshape(img.shape))]:
        assert np.array_equal(malha.corrigir(arranjo), esperado), nome
    cinza = img[..., 1].copy()
    assert np.array_equal(malha.corrigir(cinza), malha.corrigir(np.dstack([cinza] * 3)))
    assert np.array_equal(malha.corrigir(cinza[..., None]), malha.corrigir(cinza))
    assert np.array_equal(vista, img), "the input is never changed"


def test_recusa_com_a_mensagem_do_sistema(demo, tmp_path):
    malha = corretor.Malha(demo)
    img = corretor.abrir(str(demo / "amostra.jpg"))
    quebrada = tmp_path / "quebrada"
    shutil.copytree(demo, quebrada)
    (quebrada / "data" / "quelvarina.txt").write_text("1 2 x\n")
    incompleta = tmp_path / "incompleta"
    shutil.copytree(demo, incompleta)
    (incompleta / "data" / "malha-incompleta").write_text("")
    casos = [
        (lambda: malha.corrigir(img.astype(np.float64)), ValueError, "deve ser uint8"),
        (lambda: malha.corrigir(img.astype(np.uint16)), ValueError, "não uint16"),
        (lambda: malha.corrigir(np.zeros((10, 10, 4), np.uint8)), ValueError, "(10, 10, 4)"),
        (lambda: malha.corrigir(np.zeros((0, 10, 3), np.uint8)), ValueError, "está vazia"),
        (lambda: malha.corrigir(np.zeros(10, np.uint8)), ValueError, "a forma"),
        (lambda: malha.corrigir("amostra.jpg"), ValueError, "img:"),
        (lambda: malha.corrigir(img, interpolado="bicubico"), ValueError, "filtro desconhecido"),
        (lambda: malha.comparar(img), ValueError, "tamanho"),
        (lambda: corretor.Malha(tmp_path / "nada"), OSError, "nada/data/pattern.jpg\": não existe"),
        (lambda: corretor.Malha(quebrada), OSError, "quelvarina.txt\", linha 1"),
        (lambda: corretor.Malha(incompleta), OSError, "a malha está incompleta"),
        (lambda: corretor.abrir(str(tmp_path / "nada.jpg")), OSError, "não existe"),
        (lambda: corretor.salvar(str(tmp_path / "nada" / "x.jpg"), img), OSError, "x.jpg"),
    ]
    antes = os.getcwd()
    for chamada, erro, parte in casos:
        with pytest.raises(erro) as info:
            chamada()
        assert parte in str(info.value), str(info.value)
    assert os.getcwd() == antes
    assert not list(tmp_path.glob("**/.salvando-*"))


def test_uma_correcao_sem_campo_avisa(demo, tmp_path):
    vazia = tmp_path / "vazia"
    shutil.copytree(demo, vazia)
    for mapa in (vazia / "matrix").iterdir():
        mapa.write_text("nan nan nan\nnan nan nan\n")
    with pytest.warns(RuntimeWarning, match="nenhum pixel"):
        corretor.Malha(vazia).corrigir(corretor.abrir(str(demo / "amostra.jpg")))


def test_suave_da_os_bytes_dos_programas_e_avisa_uma_vez_onde_dobraria(demo, tmp_path):
    img = corretor.abrir(str(demo / "amostra.jpg"))
    corretor.salvar(str(tmp_path / "py.jpg"), corretor.Malha(demo).corrigir(img, suave=True))
    assert (tmp_path / "py.jpg").read_bytes() == corrigir_lote(demo, None, "rs", suave=True)
    ruim = tmp_path / "ruim"  # node 12's source point moved far
    shutil.copytree(demo, ruim)
    nos = (ruim / "data" / "verticesamp4.txt").read_text().splitlines()
    nos[11] = "399 422"
    (ruim / "data" / "verticesamp4.txt").write_text("\n".join(nos) + "\n")
    malha = corretor.Malha(ruim)
    with pytest.warns(RuntimeWarning, match=r"^nos triângulos \d+(, \d+)+ o mapa curvo dobraria"):
        malha.corrigir(img, interpolado="linear", suave=True)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        malha.corrigir(img, suave=True)


def deslocada(demo, destino, colunas):
    """A copy of the workspace whose maps all move `colunas` further right."""
    shutil.copytree(demo, destino)
    for mapa in (destino / "matrix").iterdir():
        linhas = mapa.read_text().split("\n")
        a, b, c = (float(v) for v in linhas[0].split())
        linhas[0] = f"{a!r} {b!r} {c + colunas!r}"
        mapa.write_text("\n".join(linhas))
    return corretor.Malha(destino)


def test_threads_e_malhas_lado_a_lado_dao_o_resultado_de_uma_so(demo, tmp_path):
    img = corretor.abrir(str(demo / "amostra.jpg"))
    malhas = [corretor.Malha(demo), deslocada(demo, tmp_path / "d", 7)]
    pedidos = [(m, f) for m in range(2) for f in FILTROS] * 3
    esperados = {(m, f): malhas[m].corrigir(img, interpolado=f) for m, f in set(pedidos)}
    assert not np.array_equal(esperados[0, None], esperados[1, None])
    erros = []

    def trabalhar(k):
        for m, f in pedidos[k::4]:
            if not np.array_equal(malhas[m].corrigir(img, interpolado=f), esperados[m, f]):
                erros.append((m, f))

    threads = [threading.Thread(target=trabalhar, args=(k,)) for k in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert erros == []


def test_a_correcao_solta_o_interpretador(demo):
    # With the switch interval out of reach, a thread gives the interpreter up only when it
    # waits or ends: this loop runs while the correction is under way only when the correction
    # lets the interpreter go, and the correction can end only once the loop has.
    malha = corretor.Malha(demo)
    img = corretor.abrir(str(demo / "amostra.jpg"))
    comecou = threading.Event()

    def corrigir():
        comecou.set()
        malha.corrigir(img)

    intervalo = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    try:
        t = threading.Thread(target=corrigir)
        t.start()
        comecou.wait()
        voltas = 0
        while t.is_alive() and voltas < 10000:
            voltas += 1
        t.join()
    finally:
        sys.setswitchinterval(intervalo)
    assert voltas == 10000


def test_instalado_num_prefixo_novo(tmp_path):
    prefixo = tmp_path / "p"
    subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(prefixo)], check=True,
                   stdout=subprocess.DEVNULL)
    site = prefixo / "lib" / "python3" / "dist-packages"
    feito = subprocess.run(
        ["/usr/bin/python3", "-c", "import corretor; print(corretor.__file__)"], cwd=tmp_path,
        env={**os.environ, "PYTHONPATH": str(site)}, check=True, capture_output=True, text=True)
    assert feito.stdout.startswith(str(site))


NOMES_DA_MALHA = ["data/verticesamp4.txt", "data/vertices2.txt", "data/quelvarina.txt"] + [
    f"matrix/{t}.txt" for t in range(99)]


def test_calibra_e_grava_como_malha_calibrar(demo, tmp_path):
    programa_ = tmp_path / "programa"
    shutil.copytree(demo, programa_)
    subprocess.run([programa("malha"), "calibrar", "amostra.jpg", "--substituir"], cwd=programa_,
                   check=True, stdout=subprocess.DEVNULL)
    padrao = corretor.abrir(str(demo / "data" / "pattern.jpg"))
    captura = corretor.abrir(str(demo / "amostra.jpg"))
    malha = corretor.calibrar(padrao, captura)
    python = tmp_path / "python"
    (python / "data").mkdir(parents=True)
    shutil.copy(demo / "data" / "pattern.jpg", python / "data")
    malha.gravar(python)
    for nome in NOMES_DA_MALHA:
        assert (python / nome).read_bytes() == (programa_ / nome).read_bytes(), nome
    assert np.array_equal(corretor.Malha(python).corrigir(captura), malha.corrigir(captura))

    casos = [
        (lambda: malha.gravar(python), OSError, "já existe; para trocar a malha, use substituir"),
        (lambda: malha.gravar(programa_ / "amostra.jpg"), OSError, "amostra.jpg"),
        (lambda: corretor.Malha(demo).gravar(tmp_path / "outra"), ValueError, "foi lida de"),
        (lambda: corretor.calibrar(padrao, captura, nos=9), ValueError, "nos: um número de 10"),
        (lambda: corretor.calibrar(padrao, np.zeros_like(captura)), ValueError, "uniforme"),
    ]
    for chamada, erro, parte in casos:
        with pytest.raises(erro) as info:
            chamada()
        assert parte in str(info.value), str(info.value)
    malha.gravar(python, substituir=True)
