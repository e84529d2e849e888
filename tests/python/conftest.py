# The pytest tests of the Python module corretor: the module and the programs are taken from
# the build folder, CORRETOR_BUILD or else build/ beside the sources.
import os
import pathlib
import subprocess
import sys

import pytest

FONTES = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(os.environ.get("CORRETOR_BUILD", FONTES / "build")).resolve()
sys.path.insert(0, str(BUILD / "python"))


def programa(nome):
    return str(BUILD / nome)


@pytest.fixture(scope="session")
def demo(tmp_path_factory):
    """The demo workspace of "malha demo", made once for the whole run."""
    pasta = tmp_path_factory.mktemp("demo") / "w"
    subprocess.run([programa("malha"), "demo", str(pasta)], check=True, stdout=subprocess.DEVNULL)
    return pasta
