"""python3 -m vemo_ledger: see vemo_ledger.cli."""
import sys

from vemo_ledger.cli import main

# Worker processes of a local cluster import this module under another
# name; only the command itself runs main.
if __name__ == "__main__":
    sys.exit(main())
