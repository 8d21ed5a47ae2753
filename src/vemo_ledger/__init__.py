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
from vemo_ledger.check2 import HEADER_CHECKS, ISSUE_CHECKS, TRANSFER_CHECKS, Ledger2
from vemo_ledger.make import FAULTS, Fault, keys_dir, make_ledger, side_file
from vemo_ledger.make2 import FAULTS2
from vemo_ledger.record import BITS, Opening, RecordError, Transfer, parse
from vemo_ledger.record2 import Header, Issue, Transfer2
from vemo_ledger.transfer import Holding, Payment, open_account, pay, read_amount, receive
from vemo_ledger.transfer2 import (Pair, Payment2, balance_of, issue, new_header, pay2, received, sign_issue,
                                   sign_transfer)
from vemo_ledger.verify import (CHUNK_TIMEOUT, MAX_LINE, InvalidLine, LedgerError, Report, Run, tls_security,
                                verify_ledger, verify_ledger_state)
from vemo_ledger.wallet import Balance, KeyFileError, read_balance, read_key

from vemo_batch import __version__  # one version for the whole distribution
__all__ = [
    "BITS", "CHUNK_TIMEOUT", "Checked", "FAULTS", "FAULTS2", "Fault", "HEADER_CHECKS", "ISSUE_CHECKS", "MAX_LINE",
    "MalformedResult", "PROOF_CHECKS", "TRANSFER_CHECKS", "Balance", "Header", "Holding", "InvalidLine", "Issue",
    "KeyFileError", "Ledger", "Ledger2", "LedgerError", "LineResult", "Opening", "Pair", "Payment", "Payment2",
    "RecordError", "Report", "Run", "Transfer", "Transfer2", "__version__", "balance_of", "check_transfer",
    "checked_results", "issue", "keys_dir", "make_ledger", "new_header", "open_account", "parse", "pay", "pay2",
    "read_amount", "read_balance", "read_key", "receive", "received", "side_file", "sign_issue", "sign_transfer",
    "tls_security", "verify_chunk", "verify_ledger", "verify_ledger_state",
]
