#!/usr/bin/env bash
# scripts/slurm-report.sh on a real one-node Slurm cluster brought up here: munged, slurmctld and
# slurmd from Debian's packages on localhost, on free ports, with everything they keep in a
# scratch folder. An array of 4 tasks reports a corpus built here; one task is cancelled while
# it writes and then requeued; the joined outputs must be the records of one uninterrupted
# `pelmora --report --json` run, each path once, and resuming the joined file must inspect
# nothing and exit as that run did.
# Usage: SlurmTest.sh PELMORA SOURCE_DIR
set -euo pipefail
pelmora=$(realpath "$1")
scripts=$(realpath "$2/scripts")
FRAMEWORK_RES=/usr/share/android-framework-res/framework-res.apk
work=$(mktemp -d)
# munged serves its socket only from folders that everyone may enter.
chmod 755 "$work"
# Every process of this cluster carries this in its environment, the jobs' too, so that the end
# finds them all and nothing else.
marker="PELMORA_SLURM_TEST=$work"
fail() {
    echo "FAIL: $*"
    exit 1
}
log() { echo "[$(date +%T.%N | cut -c1-12)] $*"; }

# The processes whose environment holds the marker.
ours() {
    local environ
    for environ in /proc/[0-9]*/environ; do
        if { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "$marker"; then
            environ=${environ#/proc/}
            echo "${environ%/environ}"
        fi
    done
}
# Ends the jobs, then every process of the cluster, whatever state it is in.
stop() {
    set +e
    if [ -n "${SLURM_CONF:-}" ]; then
        timeout 5 scancel --quiet --user=root 2>/dev/null
        for _ in $(seq 30); do
            [ -z "$(timeout 2 squeue --noheader 2>&1)" ] && break
            sleep 0.1
        done
    fi
    local pids
    pids=$(ours)
    [ -n "$pids" ] && kill $pids 2>/dev/null
    for _ in $(seq 30); do
        pids=$(ours)
        [ -z "$pids" ] && break
        sleep 0.1
    done
    [ -n "$pids" ] && kill -9 $pids 2>/dev/null
    wait
    rm -rf "$work"
}
trap stop EXIT

# The corpus: 44 packages built by aapt, two at a time, and as many links to them under other
# names; one package signed, one damaged, one named in GBK and one whose name holds a line break.
log "building the corpus"
corpus=$work/corpus
mkdir -p "$corpus"
for i in $(seq -w 0 43); do
    mkdir -p "$work/src/p$i"
    cat >"$work/src/p$i/AndroidManifest.xml" <<XML
<manifest xmlns:android="http://schemas.android.com/apk/res/android" package="org.pelmora.slurm.p$i"
    android:versionCode="$((10#$i + 1))" android:versionName="1.$i">
  <uses-sdk android:minSdkVersion="24"/>
  <uses-permission android:name="android.permission.INTERNET"/>
  <application android:label="Slurm $i"/>
</manifest>
XML
    echo "p$i"
done | xargs -P 2 -I{} aapt package -f -M "$work/src/{}/AndroidManifest.xml" \
    -I "$FRAMEWORK_RES" -F "$corpus/{}.apk" >/dev/null
for i in $(seq -w 0 43); do
    ln "$corpus/p$i.apk" "$corpus/q$i.apk"
done
openssl req -x509 -nodes -days 3650 -newkey rsa:2048 -subj /CN=slurm -keyout "$work/key.pem" \
    -out "$work/cert.pem" 2>/dev/null
openssl pkcs8 -topk8 -nocrypt -in "$work/key.pem" -outform DER -out "$work/key.pk8"
apksigner sign --key "$work/key.pk8" --cert "$work/cert.pem" --out "$corpus/signed.apk" \
    "$corpus/p00.apk"
head -c 5000 /dev/urandom >"$corpus/damaged.apk"
ln "$corpus/p02.apk" "$corpus/"$'\xc4\xe3\xba\xc3.apk'
ln "$corpus/p03.apk" "$corpus/"$'line\nbreak.apk'
# Listed once for every task, one entry relative to the folder the job is submitted from.
find "$corpus" -type f -print0 >"$work/list"
mkdir "$work/extra"
ln "$corpus/p04.apk" "$work/extra/relative.apk"
printf 'extra/relative.apk\0' >>"$work/list"
count=$(tr -cd '\0' <"$work/list" | wc -c)
[ "$count" -ge 92 ] || fail "the list names $count paths"

# The cluster.
log "starting munged, slurmctld and slurmd"
mkdir -p "$work/state" "$work/spool"
mungekey --create --keyfile="$work/munge.key"
read -r controller_port node_port < <(python3 -c '
import socket
sockets = [socket.socket() for _ in range(2)]
for s in sockets:
    s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in sockets])')
# The node as slurmd finds it: its real CPUs and memory.
node=$(slurmd -C | head -n 1 | sed 's/^NodeName=[^ ]*/NodeName=localhost/')
export SLURM_CONF=$work/slurm.conf
cat >"$SLURM_CONF" <<CONF
ClusterName=pelmoratest
SlurmctldHost=localhost
SlurmctldPort=$controller_port
SlurmdPort=$node_port
AuthType=auth/munge
AuthInfo=socket=$work/munge.socket
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
KillWait=2
$node
PartitionName=test Nodes=localhost Default=YES MaxTime=INFINITE State=UP
CONF
env "$marker" munged --foreground --socket="$work/munge.socket" --key-file="$work/munge.key" \
    --pid-file="$work/munged.pid" --seed-file="$work/munge.seed" --log-file="$work/munged.log" \
    >"$work/munged.out" 2>&1 &
for _ in $(seq 50); do
    [ -S "$work/munge.socket" ] && break
    sleep 0.1
done
[ -S "$work/munge.socket" ] || fail "munged did not start: $(cat "$work/munged.out")"
env "$marker" slurmctld -D -i >"$work/slurmctld.out" 2>&1 &
env "$marker" slurmd -D -N localhost >"$work/slurmd.out" 2>&1 &
state=
for _ in $(seq 150); do
    state=$(timeout 2 sinfo --noheader --format=%T 2>/dev/null || true)
    [ "$state" = idle ] && break
    sleep 0.2
done
[ "$state" = idle ] || fail "the node is '$state', not idle: $(cat "$work"/*.out "$work"/*.log)"

log "submitting 4 tasks over $count paths"
cd "$work"
job=$(PELMORA=$pelmora sbatch --parsable --export="ALL,$marker" --array=0-3 \
    --output="$work/log.%a" "$scripts/slurm-report.sh" list out)
# Task 3 is cancelled while it writes: once it has two records, with most still to come.
target=${job}_3
while :; do
    state=$(squeue --noheader --jobs="$target" --format=%T 2>/dev/null || true)
    written=0
    [ -f out.3 ] && written=$(wc -l <out.3)
    [ "$state" = RUNNING ] && [ "$written" -ge 2 ] && break
    [ -z "$state" ] || [ "$state" = PENDING ] || [ "$state" = RUNNING ] ||
        fail "task 3 is $state before it could be cancelled"
    sleep 0.01
done
scancel "$target"
for _ in $(seq 100); do
    state=$(squeue --noheader --jobs="$target" --format=%T 2>/dev/null || true)
    [ "$state" = RUNNING ] || [ "$state" = COMPLETING ] || break
    sleep 0.1
done
cancelled=$(wc -l <out.3)
# slurmd refuses a job's credentials issued no later than the second it revoked them in, at the
# cancel's end; requeued within that second, the task would fail to start.
sleep 2
log "task 3 cancelled after $cancelled records; requeued"
scontrol requeue "$target"
# Slurm holds a requeued job back for a while; let it start at once.
scontrol update JobId="$target" StartTime=now
for _ in $(seq 600); do
    [ -z "$(squeue --noheader --jobs="$job")" ] && break
    sleep 0.1
done
[ -z "$(squeue --noheader --jobs="$job")" ] || fail "the array has not ended: $(squeue)"
log "the array has ended"
for task in 0 1 2 3; do
    scontrol show job "${job}_$task" | grep -q 'JobState=COMPLETED' ||
        fail "task $task: $(scontrol show job "${job}_$task") $(cat "log.$task")" \
            "$(tail -n 20 "$work/slurmd.log")"
done
scontrol show job "$target" | grep -q 'Restarts=1' || fail "task 3 was not run again"
total=$(wc -l <out.3)
[ "$cancelled" -lt "$total" ] || fail "task 3 had written all its $total records when cancelled"

python3 "$scripts/slurm-join.py" list out.0 out.1 out.2 out.3 >joined ||
    fail "the outputs do not join"
status=0
"$pelmora" --report --json --files-from list >whole || status=$?
[ "$status" -le 1 ] || fail "the uninterrupted run exited $status"
diff <(sort joined) <(sort whole) >/dev/null || fail "the joined records differ from one run's"
before=$(md5sum <joined)
again=0
"$pelmora" --report --files-from list --output joined --resume 2>/dev/null || again=$?
[ "$(md5sum <joined)" = "$before" ] || fail "resuming the joined file changed it"
[ "$again" -eq "$status" ] || fail "the joined file's exit status is $again, one run's $status"
log "PASS: 4 tasks over $count paths, task 3 cancelled after $cancelled of its $total records" \
    "and requeued; the joined records are one run's"
