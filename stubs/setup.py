# The stub package's directory is named vemo-stubs (PEP 561), which is not an
# importable name, so the declarative package list in pyproject.toml rejects
# it; the list is given here instead.
from setuptools import setup

setup(packages=["vemo-stubs"], package_data={"vemo-stubs": ["*.pyi"]})
