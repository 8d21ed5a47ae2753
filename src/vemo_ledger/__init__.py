"""Confidential-transfer ledgers on vemo: their records, and verifying them whole.

A ledger is a JSON Lines file: one record per line, first the openings of
the accounts, then transfers between them. A transfer publishes no amount:
a commitment to it, the sender's new balance commitment, audit tokens for
the receiver and an auditor with consistency proofs, and range proofs that
neither the amount nor the new balance is negative::

    import vemo_ledger

    vemo_ledger.make_ledger("l.jsonl", 1000, invalid=10)   # a test ledger
    report = vemo_ledger.verify_ledger("l.jsonl")           # all cores
    report = vemo_ledger.verify_ledger("l.jsonl", workers=2)           # local dask cluster
    report = vemo_ledger.verify_ledger("l.jsonl", scheduler="tls://10.0.0.1:8786",
                                       security=vemo_ledger.tls_security("ca.pem", "node.pem", "node.key"))
    report.ok, report.invalid_lines                          # [InvalidLine(line, id, reason)]

The same from the shell: ``python3 -m vemo_ledger make --transfers 1000
l.jsonl`` and ``python3 -m vemo_ledger verify l.jsonl [--workers 2]``.
Each line is checked on its own by verify_chunk, wherever it runs; the
balances are then followed in line order by a Ledger. docs/ledger.md
describes the records, the checks and the figures.
"""
from vemo_ledger.check import (PROOF_CHECKS, Checked, Ledger, LineResult, MalformedResult, check_transfer,
                               checked_results, verify_chunk)
from vemo_ledger.make import FAULTS, Fault, make_ledger, side_file
from vemo_ledger.record import BITS, Opening, RecordError, Transfer, parse
from vemo_ledger.transfer import Holding, Payment, open_account, pay, read_amount, receive
from vemo_ledger.verify import (CHUNK_TIMEOUT, MAX_LINE, InvalidLine, LedgerError, Report, Run, tls_security,
                                verify_ledger)

from vemo_batch import __version__  # one version for the whole distribution
__all__ = [
    "BITS", "CHUNK_TIMEOUT", "Checked", "FAULTS", "Fault", "MAX_LINE", "MalformedResult", "PROOF_CHECKS",
    "check_transfer", "checked_results", "Holding", "InvalidLine", "Ledger", "LedgerError", "LineResult", "Opening",
    "Payment", "RecordError", "Report", "Run", "Transfer", "__version__", "make_ledger", "open_account", "parse",
    "pay", "read_amount", "receive", "side_file", "tls_security", "verify_chunk", "verify_ledger",
]
