// Parameter names of vemo's eight verifying functions, shared by vemo's
// function table and by vemo_batch, which matches the arguments of a
// batched verification exactly as the function itself would.
#pragma once

#define VEMO_PARAMS_range_proof_single_verify "range_proof", "n_bit", "gh", "ped_cm"
#define VEMO_PARAMS_consistency_proof_verify "proof", "gh", "ped_cm", "token", "pubkey"
#define VEMO_PARAMS_sigma_dlog_proof_explicit_verify "ser_proof", "h_sumR", "sum_tokens"
#define VEMO_PARAMS_sigma_dlog_proof_explicit_verify_sha256 "ser_proof", "h_sumR", "sum_tokens"
#define VEMO_PARAMS_sigma_eq_dlog_verify "ser_dlog_eq_proof", "gh", "h_sumR", "sum_tokens"
#define VEMO_PARAMS_sigma_eq_dlog_verify_sha256 "ser_dlog_eq_proof", "gh", "h_sumR", "sum_tokens"
#define VEMO_PARAMS_sigma_eq_dlog_verify_same_secret "ser_dlog_eq_proof", "gh1", "gh2"
#define VEMO_PARAMS_sigma_eq_dlog_ped_verify "ser_dlog_eq_proof", "gh1", "gh2"
