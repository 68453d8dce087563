"""aiosmtpd handler of the e-mail tests: keeps what each session sent.

Every command is appended to <out>/transcript.log as "<HELO name> <line>".
A message is kept as <out>/<HELO name>.eml (the DATA bytes as received,
dot-unstuffed), its envelope as <HELO name>.env (HELO name, MAIL FROM, one
line per accepted RCPT TO) and its parts, decoded by Python's email
module, as <HELO name>.part<N> with a list <HELO name>.parts of
"N|content type|file name" lines. Recipients at refused.test get 550; a
HELO name that begins with "refuse-helo" gets 550. Mail to <user>@mail.test
is delivered into <homes>/<user>/Maildir when that folder exists.
"""
import email
import email.policy
import os
import re


class Sink:
    def __init__(self, out, homes):
        self.out = out
        self.homes = homes

    @classmethod
    def from_cli(cls, parser, *args):
        return cls(*args)

    def name(self, session):
        return re.sub(r'[^A-Za-z0-9._-]', '_', session.host_name or 'nohelo')

    def log(self, session, line):
        with open(os.path.join(self.out, 'transcript.log'), 'a') as f:
            f.write('%s %s\n' % (self.name(session), line))

    async def handle_HELO(self, server, session, envelope, hostname):
        session.host_name = hostname
        self.log(session, 'HELO ' + hostname)
        if hostname.startswith('refuse-helo'):
            return '550 5.7.1 not welcome'
        return '250 sink'

    async def handle_RSET(self, server, session, envelope):
        self.log(session, 'RSET')
        return '250 OK'

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        self.log(session, 'MAIL FROM:<%s>' % address)
        envelope.mail_from = address
        return '250 OK'

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        self.log(session, 'RCPT TO:<%s>' % address)
        if address.lower().endswith('@refused.test'):
            return '550 5.1.1 no such user'
        envelope.rcpt_tos.append(address)
        return '250 OK'

    async def handle_QUIT(self, server, session, envelope):
        self.log(session, 'QUIT')
        return '221 bye'

    async def handle_DATA(self, server, session, envelope):
        raw = envelope.original_content
        base = os.path.join(self.out, self.name(session))
        with open(base + '.eml.tmp', 'wb') as f:
            f.write(raw)
        with open(base + '.env', 'w') as f:
            f.write('\n'.join([session.host_name, envelope.mail_from] + envelope.rcpt_tos) + '\n')
        message = email.message_from_bytes(raw, policy=email.policy.compat32)
        listing = []
        for n, part in enumerate(message.walk()):
            if part.is_multipart():
                continue
            with open('%s.part%d' % (base, n), 'wb') as f:
                f.write(part.get_payload(decode=True) or b'')
            listing.append('%d|%s|%s' % (n, part.get_content_type(), part.get_filename() or ''))
        with open(base + '.parts', 'w') as f:
            f.write('\n'.join(listing) + '\n')
        for rcpt in envelope.rcpt_tos:
            local, _, domain = rcpt.rpartition('@')
            maildir = os.path.join(self.homes, local, 'Maildir')
            if domain.lower() == 'mail.test' and re.fullmatch(r'[a-z0-9]+', local) and os.path.isdir(maildir):
                unique = '%s.%d' % (self.name(session), os.getpid())
                tmp = os.path.join(maildir, 'tmp', unique)
                with open(tmp, 'wb') as f:
                    f.write(raw)
                os.chown(tmp, 65534, 65534)
                os.rename(tmp, os.path.join(maildir, 'new', unique))
        # The .eml appears last: a test that sees it sees everything.
        os.rename(base + '.eml.tmp', base + '.eml')
        self.log(session, 'DATA %d bytes' % len(raw))
        return '250 OK queued'
