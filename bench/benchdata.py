"""What the benchmark data generators share: file sizes and entry names of a simulated client."""
import math


def file_sizes(rng, count, total):
    # Log-uniform between 1 KiB and 16 MiB, scaled to the total: many small files, a few large ones.
    weights = [math.exp(rng.uniform(math.log(1024), math.log(16 * 1024 * 1024))) for _ in range(count)]
    scale = total / sum(weights)
    sizes = [max(1, int(w * scale)) for w in weights]
    sizes[sizes.index(max(sizes))] += total - sum(sizes)
    return sizes


def entry_name(index, digits):
    group = index % 40
    folder = "bin" if group == 0 else f"data/group{group:02d}"
    return f"Korv Desktop/{folder}/file{index:0{digits}d}.bin"
