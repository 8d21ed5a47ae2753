"""Confidential-transfer ledgers on vemo: their records, and verifying them whole.

A ledger is a JSON Lines file: one record per line. In version 2 (the
default), a header names the ledger, its issuer and its auditor; the
issuer opens accounts; each transfer publishes no amount but its
commitment with handles for the receiver, the auditor and the sender, the
sender's new balance, a balance proof made with the sender's key, one range
proof, and the sender's signature, all bound to the ledger and to the
sender's sequence number (vemo_strict). Version 1's records, with vemo's
proofs, are still read and written (make_ledger(..., version=1))::

    import vemo_ledger

    vemo_ledger.make_ledger("l.jsonl", 1000, invalid=10)   # a test ledger
    report = vemo_ledger.verify_ledger("l.jsonl")           # all cores
    report = vemo_ledger.verify_ledger("l.jsonl", workers=2)           # local dask cluster
    report = vemo_ledger.verify_ledger("l.jsonl", scheduler="tls://10.0.0.1:8786",
                                       security=vemo_ledger.tls_security("ca.pem", "node.pem", "node.key"))
    report.ok, report.invalid_lines                          # [InvalidLine(line, id, reason)]
    key = vemo_ledger.read_key("l.keys/acct-1.key")           # written by make_ledger
    vemo_ledger.read_balance("l.jsonl", key).value           # read with the key alone

The same from the shell: ``python3 -m vemo_ledger make --transfers 1000
l.jsonl``, ``python3 -m vemo_ledger verify l.jsonl [--workers 2]`` and
``python3 -m vemo_ledger balance l.jsonl --key l.keys/acct-1.key``.
Each line is checked on its own by verify_chunk, wherever it runs; the
rules that depend on earlier lines are then followed in line order by a
Ledger (Ledger2 for version 2). docs/ledger.md describes the records, the
checks, what each rule stops, and the figures.
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
