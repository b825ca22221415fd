// Runs the WebAssembly build of dorvex under Node.js as the console program
// runs: on the image IMAGE, writing into the current directory, its
// messages (UTF-8) on standard output and error, its status as the exit
// status. MODULE is the Node.js build (dorvex_node.js), which reaches the
// host's files directly, reading the image in pieces.
//   node web/run_core.mjs MODULE IMAGE
// With DORVEX_REPORT_RSS set, prints the process's peak resident memory in
// KiB on standard error at the end, as "peak-rss-kib N".
import { createRequire } from 'node:module';
import path from 'node:path';
import process from 'node:process';

const [modulePath, image] = process.argv.slice(2);
if (!modulePath || !image) {
  process.stderr.write('usage: node run_core.mjs MODULE IMAGE\n');
  process.exit(2);
}
const createDorvex = createRequire(import.meta.url)(path.resolve(modulePath));
const dorvex = await createDorvex({
  print: (line) => process.stdout.write(line + '\n'),
  printErr: (line) => process.stderr.write(line + '\n'),
});
const status = dorvex.ccall('dorvex_run', 'number', ['string'],
                            [path.resolve(image)]);
if (process.env.DORVEX_REPORT_RSS) {
  process.stderr.write(`peak-rss-kib ${process.resourceUsage().maxRSS}\n`);
}
process.exitCode = status;
