"""Scripted mail servers that misbehave on purpose, for the e-mail tests.

fakemail.py <run folder> <address> [<mode>=<port> ...]: every mode listens
on the address, on the port given or one chosen by the system; the chosen
ports go to <run>/fake.ports as "fake.<mode>=<port>" once all listen.
Each connection and every line received is appended to <run>/fake.log as
"<mode> <port> connect" and "<mode> <port> < <line>".
"""
import os
import socketserver
import sys
import threading

run, address = sys.argv[1], sys.argv[2]
fixed = dict(a.split('=') for a in sys.argv[3:])
lock = threading.Lock()


def log(mode, port, text):
    with lock, open(run + '/fake.log', 'a') as f:
        f.write('%s %d %s\n' % (mode, port, text))


def pop3_answer(mode, line):
    verb = line.split(' ')[0].upper()
    if verb == 'STAT':
        return '+OK many 10' if mode == 'pop3_badstat' else '+OK 1 100'
    if verb == 'QUIT':
        return '+OK bye'
    return '+OK'


GREETINGS = {
    'pop3_nogreet': 'hello there, no mail here',
    'pop3_program': 'hello there, no mail here',
    'pop3_lateok': 'X+OK ready',
    'pop3_badstat': '+OK ready',
    'pop3_log': '+OK ready',
    'smtp_silent': '220 fake ready',
    'smtp_busy': '554 5.3.2 too busy',
    'smtp_garbage': '220 fake ready',
}


def handler(mode):
    class Handler(socketserver.StreamRequestHandler):
        def handle(self):
            port = self.server.server_address[1]
            log(mode, port, 'connect')
            if mode == 'pop3_silent':
                self.rfile.read()
                return
            self.wfile.write((GREETINGS[mode] + '\r\n').encode())
            for raw in self.rfile:
                line = raw.decode('latin-1').rstrip('\r\n')
                log(mode, port, '< ' + line)
                if mode == 'smtp_silent':
                    continue
                if mode == 'smtp_garbage':
                    answer = 'hello'
                elif mode.startswith('smtp'):
                    answer = '221 bye'
                elif mode in ('pop3_nogreet', 'pop3_program'):
                    answer = '-ERR go away'
                else:
                    answer = pop3_answer(mode, line)
                self.wfile.write((answer + '\r\n').encode())
                if line.upper() == 'QUIT':
                    return
    return Handler


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


modes = ['pop3_nogreet', 'pop3_program', 'pop3_lateok', 'pop3_badstat', 'pop3_log', 'pop3_silent',
         'smtp_silent', 'smtp_busy', 'smtp_garbage']
ports = []
for mode in modes:
    server = Server((address, int(fixed.get(mode, 0))), handler(mode))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    ports.append('fake.%s=%d' % (mode, server.server_address[1]))
with open(run + '/fake.ports.tmp', 'w') as f:
    f.write('\n'.join(ports) + '\n')
os.rename(run + '/fake.ports.tmp', run + '/fake.ports')
threading.Event().wait()
