/* The dispatch buffer's read lease (serial/AwUserBuffer.h), model-checked with spin:
 *   spin -a read_lease.pml && cc -O2 -o pan pan.c && ./pan -m100000
 * (tests/serial/CMakeLists.txt runs this as the test serial_read_lease_model when spin is
 * installed).
 *
 * One dispatch thread fills the ring, lends the waiting bytes to up to two handlers per delivery
 * and takes them back, then consumes the most any handler read. Two reader threads (the threads
 * of two windows) read at any moment, so a read may come while a lease is lent, after it was
 * taken back (a handler abandoned after the time-out), or between deliveries; each runs the fast
 * path (load the word, load the count, read the byte, store the count) and the slow path
 * (acknowledge its revoked leases, claim the current one) under InputLock, step by step as the
 * code does. Every statement below is one atomic step; plain memory is modelled with a flag
 * that is up while it is being written, so a read that overlaps a write fails an assertion.
 *
 * Checked in every interleaving: a reader never reads a ring cell while the dispatch thread
 * writes it, never reads a cell that has been overwritten since it was lent (the cell holds the
 * position the reader expects), and never reads a lease's start and limit while a grant writes
 * them.
 */
#define N 3              /* ring size */
#define LAST 5           /* positions 0 .. LAST are filled, then filling stops */
#define ROUNDS 2         /* deliveries */

#define IDLE 0
#define GRANTED 1
#define CLAIMED 2
#define REVOKED 3

typedef Slot {
  byte gen;     /* the word: generation, claiming reader, state */
  byte tok;
  byte st;
  byte count;   /* atomic: bytes the claimer read */
  byte start;   /* plain: written by the grant while the slot is idle */
  byte limit;
  byte reserve; /* plain, dispatch thread's: no fill from here while revoked */
  bit granting  /* up while the grant writes start and limit */
};

Slot slots[2];
byte current = 0;      /* atomic: generation of the lease of the running handler */
byte cellPos[N];       /* the position each ring cell holds */
bit writing[N];        /* up while the dispatch thread writes the cell */
byte filled = 0;       /* InputLock */
byte taken = 0;        /* InputLock */
bit inputLock = 0;
bit done = 0;

inline lock() { atomic { inputLock == 0 -> inputLock = 1 } }
inline unlock() { inputLock = 0 }

proctype Reader(byte tok) {
  byte mine = 0;       /* the generation this thread claimed last (its thread-local record) */
  byte c, p, g, s;
  do
  :: done -> break
  :: else ->
     s = mine % 2;
     if
     /* fast path: the word still says claimed by this thread */
     :: mine != 0 && slots[s].gen == mine && slots[s].tok == tok && slots[s].st == CLAIMED ->
        c = slots[s].count;
        assert(!slots[s].granting);
        if
        :: c < slots[s].limit ->
           p = slots[s].start + c;
           assert(!writing[p % N]);
           assert(cellPos[p % N] == p);
           slots[s].count = c + 1
        :: else -> skip
        fi;
        c = 0; p = 0
     /* slow path */
     :: else ->
        lock();
        atomic { if :: slots[0].st == REVOKED && slots[0].tok == tok -> slots[0].st = IDLE; slots[0].tok = 0 :: else -> skip fi }
        atomic { if :: slots[1].st == REVOKED && slots[1].tok == tok -> slots[1].st = IDLE; slots[1].tok = 0 :: else -> skip fi }
        g = current;
        if
        :: g != 0 ->
           atomic {
             if
             :: slots[g % 2].gen == g && slots[g % 2].st == GRANTED -> slots[g % 2].st = CLAIMED; slots[g % 2].tok = tok; mine = g
             :: slots[g % 2].gen == g && slots[g % 2].st == CLAIMED && slots[g % 2].tok == tok -> mine = g
             :: else -> skip
             fi
           }
        :: else -> skip
        fi;
        g = 0;
        unlock()
     fi;
     s = 0
  od
}

proctype Dispatcher() {
  byte round = 0, g, s, floor, k, most, h;
  do
  :: round < ROUNDS ->
     /* FillDispatchBuffer: free space ends at the first reserved or unconsumed byte */
     lock();
     floor = taken;
     if :: slots[0].st == REVOKED && slots[0].reserve < floor -> floor = slots[0].reserve :: else -> skip fi;
     if :: slots[1].st == REVOKED && slots[1].reserve < floor -> floor = slots[1].reserve :: else -> skip fi;
     do
     :: filled < floor + N && filled <= LAST ->
        writing[filled % N] = 1;
        cellPos[filled % N] = filled;
        writing[filled % N] = 0;
        filled++
     :: else -> break
     od;
     unlock();
     /* DeliverTrigger: one or two handlers, each lent the waiting bytes and taken back */
     most = 0;
     h = 0;
     do
     :: h < 2 ->
        lock();
        g = round * 2 + h + 1;
        s = g % 2;
        if
        :: slots[s].st == IDLE ->
           slots[s].granting = 1;
           slots[s].start = taken;
           slots[s].limit = filled - taken;
           slots[s].granting = 0;
           slots[s].count = 0;
           atomic { slots[s].gen = g; slots[s].tok = 0; slots[s].st = GRANTED };
           current = g
        :: else -> skip    /* not acknowledged yet: this handler reads under the lock */
        fi;
        unlock();
        /* the handler runs now, or is abandoned after the time-out: the readers go on anyway */
        lock();
        g = current;
        current = 0;
        if
        :: g != 0 ->
           s = g % 2;
           if
           :: atomic { slots[s].st == GRANTED -> slots[s].st = IDLE }
           :: atomic { slots[s].st == CLAIMED -> slots[s].st = REVOKED };
              k = slots[s].count;
              slots[s].reserve = slots[s].start + k;
              if :: k > most -> most = k :: else -> skip fi
           fi
        :: else -> skip
        fi;
        unlock();
        if :: h++ :: h = 2 fi
     :: else -> break
     od;
     /* the most any handler read is consumed */
     lock();
     if :: most > filled - taken -> most = filled - taken :: else -> skip fi;
     taken = taken + most;
     unlock();
     round++
  :: else -> break
  od;
  done = 1
}

init {
  atomic {
    cellPos[0] = 255; cellPos[1] = 255; cellPos[2] = 255;
    run Dispatcher();
    run Reader(1);
    run Reader(2)
  }
}
